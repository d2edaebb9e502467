#include "common/win32/pipes.h"

namespace dllscope {

HANDLE CreateOwnPipe(const wchar_t* purpose, DWORD access, std::wstring& name) {
    static LONG made = 0;
    name = L"\\\\.\\pipe\\dllscope-" + std::wstring(purpose) + L"-" +
           std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(InterlockedIncrement(&made));
    const HANDLE pipe = CreateNamedPipeW(
        name.c_str(), access | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 1 << 16,
        1 << 16, 0, nullptr);
    return pipe == INVALID_HANDLE_VALUE ? nullptr : pipe;
}

}  // namespace dllscope
