#pragma once
// The text of Form1's pane before and after each run of one command
// ("PluginRun"), kept when the run changed it: what "Änderungen des letzten
// Laufs" shows.
#include <functional>
#include <string>

#include "changes/line_diff.h"
#include "common/command_listener.h"
#include "editor/win32/code_pane.h"

namespace dllscope {

class RunCapture : public CommandListener {
  public:
    // `handler` is the run's handler; `plugin` names the plugin it runs.
    RunCapture(CodePane& pane, std::wstring handler, std::function<std::wstring()> plugin)
        : pane_(pane), handler_(std::move(handler)), plugin_(std::move(plugin)) {}
    void CommandBegins(const std::wstring& handler) override;
    void CommandEnded(const std::wstring& handler) override;
    // The last run that changed the pane; null before one did.
    const ChangingRun* LastRun() const { return last_.plugin.empty() ? nullptr : &last_; }

  private:
    CodePane& pane_;
    std::wstring handler_;
    std::function<std::wstring()> plugin_;
    std::string before_;
    ChangingRun last_;
};

}  // namespace dllscope
