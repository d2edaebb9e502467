#pragma once
// The caller's side of dllscope-host.exe: a process of the plugin's own that
// makes the calls of the plugin cycle (loads, frees, the bridge's exports)
// under its guard and answers over a pipe. Behind Libraries and Bridge it
// stands where the in-process ones stand. A plugin that ends that process,
// crashes it or does not answer costs the host, never the caller.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "plugin/bridge.h"
#include "plugin/host_protocol.h"
#include "plugin/plugin_host.h"
#include "plugin/win32/guard.h"

namespace dllscope {

// What the caller does while it waits for an answer.
class HostWaiting {
  public:
    virtual ~HostWaiting() = default;
    // How long a call may run before EndHungCall is asked.
    virtual DWORD HangMilliseconds() = 0;
    // The call has run `milliseconds`: true ends the host, false waits
    // another HangMilliseconds.
    virtual bool EndHungCall(const ForeignCall& call, unsigned long long milliseconds) = 0;
    // Whether the caller's windows repaint while it waits.
    virtual bool Repaints() { return false; }
};

class PluginHost {
  public:
    // `program` is dllscope-host.exe; `bridge` the bridge as LoadLibraryA takes it.
    PluginHost(std::wstring program, std::wstring bridge, HostWaiting& waiting)
        : program_(std::move(program)), bridge_(std::move(bridge)), waiting_(waiting) {}
    ~PluginHost() { Stop(); }
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Sends `request` as the call `call`, starting a host when none runs,
    // and gives the answer's fields (after its kind). A fault, a failure,
    // the host's end or a hang throws (PluginProcessFault, RuntimeError,
    // PluginProcessEnded, PluginProcessHung); after the last two the next
    // request starts a new host.
    std::string Ask(const MessageWriter& request, const ForeignCall& call);
    // Starts a host, if none runs, without waiting for it: the next Ask
    // waits. A caller that knows it will need one starts it early.
    void Launch();
    // Ends the host, if one runs and no answer is awaited.
    void End();
    // An answer whose fields do not fit its request: the host ends, and
    // that is said.
    [[noreturn]] void Refuse();
    // The process id of the host that runs or ran last; 0 before the first.
    DWORD ProcessId() const { return processId_; }
    // Where the hosts started from now on write their standard output and
    // error (and so the plugin and the processes it starts); without it they
    // get none. The handle stays the caller's.
    void SetOutput(HANDLE output) { output_ = output; }
    // The programs of the processes the plugin started that still run. They
    // belong to the host: they end when it ends.
    std::vector<std::wstring> StrayProcesses() const;

  private:
    void Connect();
    void Stop();
    void Transfer(bool write, char* data, DWORD size, const ForeignCall& call, ULONGLONG& since);
    DWORD Await(OVERLAPPED& o, const ForeignCall& call, ULONGLONG& since);
    void Close();
    [[noreturn]] void Ended(const ForeignCall& call);
    [[noreturn]] void Malformed(const ForeignCall& call);

    std::wstring program_, bridge_;
    HostWaiting& waiting_;
    HANDLE pipe_ = nullptr, process_ = nullptr, event_ = nullptr;
    HANDLE job_ = nullptr;     // the host and what it starts, ended with it
    HANDLE output_ = nullptr;  // SetOutput's
    ForeignCall lastCall_{L"Der Plugin-Prozess", L"dllscope-host.exe", L"Start"};
    DWORD processId_ = 0;
    bool connected_ = false;
    bool busy_ = false;  // an answer is awaited
    std::string inbox_;  // read from the pipe, not yet taken
    std::size_t inboxAt_ = 0;
};

// LoadLibrary and FreeLibrary in the host.
class HostLibraries : public Libraries {
  public:
    explicit HostLibraries(PluginHost& host) : host_(host) {}
    LibraryHandle Load(const std::wstring& path) override;
    void Free(LibraryHandle handle) override;
    // The system's error code of the last load that failed.
    unsigned long LastLoadError() const { return lastLoadError_; }

  private:
    PluginHost& host_;
    unsigned long lastLoadError_ = 0;
    std::map<LibraryHandle, std::wstring> names_;
};

// The bridge's exports, called in the host.
class HostBridge : public Bridge {
  public:
    explicit HostBridge(PluginHost& host, std::wstring bridge = kBridgeFileName)
        : host_(host), bridge_(std::move(bridge)) {}
    std::int16_t PluginBackvalue(std::wstring& pluginPath) override;
    std::wstring PluginName(std::wstring& pluginPath) override;
    std::wstring PluginDescription(std::wstring& pluginPath) override;
    std::wstring PluginRun(const std::wstring& text, std::wstring& pluginPath) override;
    std::wstring WrapperName() override;
    std::wstring PluginWrappText(const std::wstring& text, std::wstring& pluginPath) override;
    std::wstring PluginWrappForm(const std::wstring& text, std::wstring& pluginPath) override;

  private:
    std::wstring TextCall(HostMessage kind, const wchar_t* name, const std::wstring* text,
                          std::wstring& pluginPath);

    PluginHost& host_;
    std::wstring bridge_;
};

}  // namespace dllscope
