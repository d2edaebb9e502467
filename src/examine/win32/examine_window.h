#pragma once
// "Plugin untersuchen": the checker's fuzzing and profile on the selected
// plugin, each run in the plugin's own process, from a thread of their own
// while the window shows how far they are and can stop them. The findings
// are listed with their smallest pages; one click puts a page into Form1's
// pane. Form1 waits while the examination runs.
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "check/check_settings.h"
#include "check/check_report.h"
#include "check/plugin_check.h"
#include "common/win32/controls.h"
#include "common/win32/window.h"

namespace dllscope {

// What an examination needs besides the plugin: full paths.
// How long one call of the plugin may take.
inline constexpr int kExamineHangSeconds = 10;

struct ExamineSetup {
    std::wstring bridge;       // modbridge.dll
    std::wstring hostProgram;  // dllscope-host.exe
};

class ExamineWindow : public Window, private CheckProgress {
  public:
    // `toPane` puts a page into Form1's pane as one step of undo.
    ExamineWindow(App& app, ExamineSetup setup, std::function<void(const std::wstring&)> toPane)
        : Window(app), setup_(std::move(setup)), toPane_(std::move(toPane)) {}
    // Stops an examination under way and waits for its end.
    ~ExamineWindow() override;

    // Opens the window for the plugin at `plugin` (a full path), owned by
    // `owner`; a window open for another plugin is taken over unless it runs.
    void Show(HWND owner, const std::wstring& plugin);
    bool Running() const { return thread_ != nullptr; }
    bool PreTranslate(MSG& msg) override;

  private:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void CreateControls();
    void Clear();
    void EnableInput(bool on);
    void ToPane();
    void Start();
    // The fields read into settings_; false with the reason in the status line.
    bool ReadFields();
    void Stop();
    void Finished();
    void ShowFinding();
    void ShowProgress();
    // CheckProgress, on the examination's thread.
    bool Going(const std::wstring& stage, double done) override;
    static DWORD WINAPI Work(void* self);
    // What the examination's thread posts: how far it is, and that it ended.
    static constexpr UINT kProgressMessage = WM_APP + 1, kDoneMessage = WM_APP + 2;

    ExamineSetup setup_;
    std::function<void(const std::wstring&)> toPane_;
    HWND owner_ = nullptr;
    std::wstring plugin_;
    HFONT font_ = nullptr;
    int dpi_ = 96;
    std::optional<ControlRows> rows_;
    Control seconds_, seed_, start_, stopButton_, progress_, status_, findings_, detail_,
        toPaneButton_, profile_, cases_, coverage_;

    // The examination under way: its thread writes the report and what it
    // stands at, the window reads them when the thread says so.
    HANDLE thread_ = nullptr;
    CheckSettings settings_;
    PluginReport report_;
    std::wstring failure_;  // why the examination itself could not go on
    std::atomic<bool> stop_{false};
    std::mutex mutex_;  // guards stage_ and done_
    std::wstring stage_;
    double done_ = 0;
    ULONGLONG lastPost_ = 0;
};

}  // namespace dllscope
