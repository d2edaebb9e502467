#pragma once
// A named pipe of this process's own: open to its user only, a name no other process is told
// unless this one passes it on, one instance, no remote clients, overlapped
// on this side.
#include <windows.h>

#include <string>

namespace dllscope {

// "\\.\pipe\dllscope-<purpose>-<process>-<n>" with `access`
// (PIPE_ACCESS_DUPLEX, PIPE_ACCESS_INBOUND); `name` gets the name. Null
// when it cannot be made (GetLastError says why).
HANDLE CreateOwnPipe(const wchar_t* purpose, DWORD access, std::wstring& name);

}  // namespace dllscope
