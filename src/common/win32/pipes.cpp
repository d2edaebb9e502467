#include "common/win32/pipes.h"

#include <sddl.h>

namespace dllscope {
namespace {

PSECURITY_DESCRIPTOR UserOnlyDescriptor() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
    alignas(TOKEN_USER) char buffer[256];
    DWORD size = 0;
    const bool known = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) != FALSE;
    CloseHandle(token);
    if (!known) return nullptr;
    wchar_t* sid = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid))
        return nullptr;
    const std::wstring sddl = L"D:P(A;;GA;;;" + std::wstring(sid) + L")";
    LocalFree(sid);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return nullptr;
    return descriptor;
}

}  // namespace

OwnUserOnly::OwnUserOnly() {
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = UserOnlyDescriptor();
}

OwnUserOnly::~OwnUserOnly() {
    if (attributes_.lpSecurityDescriptor) LocalFree(attributes_.lpSecurityDescriptor);
}

HANDLE CreateOwnPipe(const wchar_t* purpose, DWORD access, std::wstring& name) {
    static LONG made = 0;
    name = L"\\\\.\\pipe\\dllscope-" + std::wstring(purpose) + L"-" +
           std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(InterlockedIncrement(&made));
    OwnUserOnly security;
    const HANDLE pipe = CreateNamedPipeW(
        name.c_str(), access | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 1 << 16,
        1 << 16, 0, security.get());
    return pipe == INVALID_HANDLE_VALUE ? nullptr : pipe;
}

}  // namespace dllscope
