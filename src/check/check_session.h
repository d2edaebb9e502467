#pragma once
// The report of a check as it grows, written out plugin by plugin: a plugin
// may end the process at any moment, and what is written stays written. A
// hang or a plugin's end of the process closes the report where it stands.
#include <functional>
#include <string>
#include <vector>

#include "check/check_options.h"
#include "check/check_report.h"

namespace dllscope {

class CheckSession {
  public:
    using Output = std::function<void(const std::string& utf8)>;
    CheckSession(const CheckOptions& options, Output out)
        : options_(options), out_(std::move(out)) {}

    // The head: the checker's version, its bits, the bridge.
    void Begin(const std::wstring& version, int bits, const std::wstring& bridgePath);
    // Checks one plugin with `check`, which fills the report; whatever it
    // throws ends that plugin's check only.
    void Check(const std::wstring& file, const std::function<void(PluginReport&)>& check);
    // The end of a whole check; the exit code.
    int End();
    const std::vector<PluginReport>& Reports() const { return reports_; }

    // The plugin under check ended the process during `call`; the report
    // closes with exit code 1. False when no plugin is under check.
    bool EndedByPlugin(const std::wstring& call);
    // The plugin under check did not return from `call`; closes with 3.
    void Hung(const std::wstring& call, unsigned long long milliseconds);

  private:
    void CloseEarly(const std::wstring& problem, int code);
    void Emit(const PluginReport& r);
    void Close(int code);

    const CheckOptions& options_;
    Output out_;
    std::vector<PluginReport> reports_;
    PluginReport* current_ = nullptr;
    bool finished_ = false;
    std::size_t emitted_ = 0;
};

}  // namespace dllscope
