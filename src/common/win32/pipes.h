#pragma once
// A named pipe of this process's own: open to its user only, a name no other process is told
// unless this one passes it on, one instance, no remote clients, overlapped
// on this side.
#include <windows.h>

#include <string>

namespace dllscope {

// Security attributes that let this process's user in and no one else;
// null (the system's default) when they cannot be made.
class OwnUserOnly {
  public:
    OwnUserOnly();
    ~OwnUserOnly();
    OwnUserOnly(const OwnUserOnly&) = delete;
    OwnUserOnly& operator=(const OwnUserOnly&) = delete;
    SECURITY_ATTRIBUTES* get() { return attributes_.lpSecurityDescriptor ? &attributes_ : nullptr; }

  private:
    SECURITY_ATTRIBUTES attributes_{};
};

// "\\.\pipe\dllscope-<purpose>-<process>-<n>" with `access`
// (PIPE_ACCESS_DUPLEX, PIPE_ACCESS_INBOUND); `name` gets the name. Null
// when it cannot be made (GetLastError says why).
HANDLE CreateOwnPipe(const wchar_t* purpose, DWORD access, std::wstring& name);

}  // namespace dllscope
