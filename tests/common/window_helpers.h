#pragma once
// What the Windows tests and the end-to-end driver both need.
#include <windows.h>

#include <cwchar>
#include <string>

namespace dllscope::testing {

// Whether `window` is a visible window of class `windowClass` of process `pid`.
inline bool IsVisibleWindowOf(HWND window, DWORD pid, const wchar_t* windowClass) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t cls[64];
    GetClassNameW(window, cls, 64);
    return owner == pid && std::wcscmp(cls, windowClass) == 0 && IsWindowVisible(window);
}

// Calls an entry point of the demo automation server, e.g. "DllRegisterServer".
inline HRESULT CallDemoServer(const std::wstring& serverPath, const char* entry) {
    const HMODULE server = LoadLibraryW(serverPath.c_str());
    if (!server) return E_FAIL;
    using Entry = HRESULT(STDAPICALLTYPE*)();
    const auto fn = reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(GetProcAddress(server, entry)));
    return fn ? fn() : E_FAIL;
}

}  // namespace dllscope::testing
