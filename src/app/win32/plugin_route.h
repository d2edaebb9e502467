#pragma once
// Where Form1's plugin cycle runs: in Dllscope's own process (the default,
// so that a debugger reaches the plugin) or in a host process of its own,
// switched between commands from the system menu or by --isolated. A plugin
// in its host that ends that process, crashes it or hangs costs the host;
// the next command starts a new one.
#include <windows.h>

#include <functional>
#include <string>

#include "guard/win32/call_observer.h"
#include "host/win32/host_session.h"
#include "plugin/win32/bridge.h"
#include "plugin/win32/libraries.h"

namespace dllscope {

// Dllscope's side of a host's call that runs long: after 15 s a box owned by
// Form1 asks whether to end the plugin's process; the window repaints
// meanwhile.
class WindowHostWaiting : public HostWaiting {
  public:
    explicit WindowHostWaiting(HWND& owner) : owner_(owner) {}
    void BeforeCall(const ForeignCall& call) override {
        if (beforeCall) beforeCall(call);
    }
    DWORD HangMilliseconds() override { return kHangMilliseconds; }
    bool EndHungCall(const ForeignCall& call, unsigned long long milliseconds,
                     HangSampling& hang) override;
    bool Repaints() override { return true; }

    std::function<void(const ForeignCall&)> beforeCall;

  private:
    HWND& owner_;
};

class PluginRoute : public Libraries, public Bridge {
  public:
    PluginRoute(Win32Libraries& libraries, Win32Bridge& bridge, std::wstring hostProgram,
                HWND& owner)
        : libraries_(libraries),
          bridge_(bridge),
          waiting_(owner),
          host_(std::move(hostProgram), kBridgeFileName, waiting_) {}

    bool Isolated() const { return isolated_; }
    // The process id of the host that made the last call; 0 before the first.
    unsigned long HostProcessId() const { return host_.process.ProcessId(); }
    // Told before each request to the host, as the guard's observer is
    // before each call in this process.
    void OnHostCall(std::function<void(const ForeignCall&)> listener) {
        waiting_.beforeCall = std::move(listener);
    }
    // Takes effect at the next command; leaving the isolated mode ends the host.
    void SetIsolated(bool isolated) {
        isolated_ = isolated;
        if (!isolated) host_.client.End();
        served_.clear();
    }

    LibraryHandle Load(const std::wstring& path) override {
        return isolated_ ? HostLoad(path) : libraries_.Load(path);
    }
    void Free(LibraryHandle handle) override {
        if (!isolated_) return libraries_.Free(handle);
        host_.libraries.Free(handle == bridgeBefore_ ? bridgeNow_ : handle);
    }
    std::int16_t PluginBackvalue(std::wstring& path) override { return B().PluginBackvalue(path); }
    std::wstring PluginName(std::wstring& path) override { return B().PluginName(path); }
    std::wstring PluginDescription(std::wstring& path) override {
        return B().PluginDescription(path);
    }
    std::wstring PluginRun(const std::wstring& text, std::wstring& path) override {
        return B().PluginRun(text, path);
    }
    std::wstring WrapperName() override { return B().WrapperName(); }
    std::wstring PluginWrappText(const std::wstring& text, std::wstring& path) override {
        return B().PluginWrappText(text, path);
    }
    std::wstring PluginWrappForm(const std::wstring& text, std::wstring& path) override {
        return B().PluginWrappForm(text, path);
    }
    // Both ways': the mode may have changed since the call.
    std::vector<std::wstring> TakeStackWarnings() override {
        StackWarnings both;
        both.Add(bridge_.TakeStackWarnings());
        both.Add(host_.bridge.TakeStackWarnings());
        return both.Take();
    }

  private:
    LibraryHandle HostLoad(const std::wstring& path);
    Bridge& B() { return isolated_ ? static_cast<Bridge&>(host_.bridge) : bridge_; }

    Win32Libraries& libraries_;
    Win32Bridge& bridge_;
    WindowHostWaiting waiting_;
    HostSession host_;
    bool isolated_ = false;
    // A host per plugin: the plugin its host serves, and the cycle's bridge
    // as it was loaded and as it is loaded in the host now.
    std::wstring served_, bridgePath_;
    LibraryHandle bridgeBefore_ = 0, bridgeNow_ = 0;
};

}  // namespace dllscope
