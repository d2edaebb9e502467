#pragma once
// The program put together: the export bindings of the run, the adapters
// behind Form1's services, the result viewer, Form1 and the recovery of its
// text, which the guard asks before each call into foreign code.
#include <memory>
#include <string>

#include "call_log/call_log.h"
#include "call_log/win32/call_log_window.h"
#include "changes/win32/changes_window.h"
#include "changes/win32/run_capture.h"
#include "common/win32/app.h"
#include "editor/win32/text_recovery.h"
#include "examine/win32/examine_window.h"
#include "main_window/form1_layout.h"
#include "main_window/win32/demo.h"
#include "main_window/win32/form1_window.h"
#include "plugin/win32/bindings.h"
#include "plugin/win32/bridge.h"
#include "guard/win32/guard.h"
#include "plugin/win32/libraries.h"
#include "app/win32/plugin_route.h"
#include "result_viewer/win32/form2_window.h"

namespace dllscope {

class Program : private ForeignCallObserver, private CallClock, private CommandListener {
  public:
    // `isolated`: the plugin cycle runs in a host process from the start.
    Program(App& app, ForeignCallGuard& guard, bool isolated = false);
    // A normal end: the recovery copy goes.
    ~Program() override;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Creates Form1 and starts copying its text aside; not shown yet.
    void Create();
    // Creates and shows Form1, then offers texts left behind.
    void Open(int showCommand);

    Form1Window& MainWindow() { return form1_; }
    Win32ResultViewer& ResultViewerWindow() { return resultViewer_; }
    // The program-wide result file name; only the run command writes it.
    std::wstring& ResultFileName() { return resultFileName_; }
    const TextRecovery* Recovery() const { return recovery_.get(); }
    PluginRoute& Route() { return route_; }
    // The system menu's "Plugins in eigenem Prozess ausführen".
    UINT IsolationMenuItem() const { return isolationItem_; }
    const CallLog& Calls() const { return callLog_; }
    // "Aufrufprotokoll…" and "Änderungen des letzten Laufs…": the open
    // window, or nullptr.
    CallLogWindow* CallLogOpen() const;
    ChangesWindow* ChangesOpen() const;
    // "Plugin untersuchen…": the window, once opened.
    ExamineWindow* Examination() const { return examineWindow_.get(); }

  private:
    // ForeignCallObserver: the text is copied aside first.
    void BeforeForeignCall(const ForeignCall& call) override;
    std::wstring SavedTextNote() override;
    // CallClock: the rows of the call log.
    std::wstring Now() override;
    double Milliseconds() override;
    std::wstring Command() override;
    unsigned long Process() override;
    // CommandListener: the call log's command.
    void CommandBegins(const std::wstring& handler) override {
        command_ = Form1CommandWords(handler);
    }
    // ... and a plugin export that broke the calling convention during it.
    void CommandEnded(const std::wstring&) override;
    void ShowCallLog();
    void ShowChanges();
    void Examine();

    App& app_;
    ForeignCallGuard& guard_;
    Bindings bindings_;
    std::wstring resultFileName_;
    Win32Libraries libraries_;
    Win32Bridge bridge_;
    HWND owner_ = nullptr;  // Form1, once made
    PluginRoute route_;
    UINT isolationItem_ = 0;
    CallLog callLog_;
    LoggingLibraries loggingLibraries_;
    LoggingBridge loggingBridge_;
    Win32ResultViewer resultViewer_;
    Win32DemoExports demoExports_;
    Win32Automation automation_;
    Form1Window form1_;
    std::wstring command_;  // the handler under way, or empty
    std::unique_ptr<RunCapture> runCapture_;
    std::unique_ptr<TextRecovery> recovery_;
    std::unique_ptr<CallLogWindow> callLogWindow_;
    std::unique_ptr<ChangesWindow> changesWindow_;
    std::unique_ptr<ExamineWindow> examineWindow_;
};

}  // namespace dllscope
