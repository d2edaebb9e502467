#pragma once
// How a plugin's own process ended a call: it ended (the plugin ended it, or
// it crashed where no guard could land), it did not answer in time and was
// ended, or the plugin faulted and the host reported it. Each is a runtime
// error whose words a command shows as they are.
#include <string>

#include "common/runtime_error.h"
#include "host/host_messages.h"
#include "sampling/code_samples.h"

namespace dllscope {

// The process ended during the call. `exitCode` is the plugin's own code
// (ExitProcess, exit) or the system's status of a crash (0xC0000374, ...).
class PluginProcessEnded : public RuntimeError {
  public:
    PluginProcessEnded(std::wstring report, unsigned long exitCode)
        : RuntimeError(std::move(report)), exitCode_(exitCode) {}
    unsigned long ExitCode() const { return exitCode_; }

  private:
    unsigned long exitCode_;
};

// The call did not return in time, and the process was ended.
class PluginProcessHung : public RuntimeError {
  public:
    PluginProcessHung(std::wstring report, std::wstring call, unsigned long long milliseconds,
                      HangPlace place)
        : RuntimeError(std::move(report)),
          call_(std::move(call)),
          milliseconds_(milliseconds),
          place_(std::move(place)) {}
    const std::wstring& Call() const { return call_; }
    unsigned long long Milliseconds() const { return milliseconds_; }
    // Where it was found running before it was ended.
    const HangPlace& Place() const { return place_; }

  private:
    std::wstring call_;
    unsigned long long milliseconds_;
    HangPlace place_;
};

// A fault the host's guard landed: its report as the guard words it, and its parts.
class PluginProcessFault : public RuntimeError {
  public:
    explicit PluginProcessFault(FaultRecord fault)
        : RuntimeError(fault.message), fault_(std::move(fault)) {}
    const FaultRecord& Record() const { return fault_; }

  private:
    FaultRecord fault_;
};

}  // namespace dllscope
