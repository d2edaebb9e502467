#pragma once
// Form1 as a Win32 window: builds its controls from the layout table, routes
// each control event to its handler and shows what the handlers ask for.
#include <windows.h>

#include <array>
#include <atomic>
#include <memory>

#include "app/win32/recovery.h"
#include "app/win32/window.h"
#include "editor/win32/code_pane.h"
#include "main_window/form1.h"
#include "main_window/form1_layout.h"
#include "plugin/win32/bridge.h"
#include "plugin/win32/demo.h"
#include "plugin/win32/guard.h"
#include "plugin/win32/libraries.h"
#include "result_viewer/win32/form2_window.h"

namespace dllscope {

class Form1Window : public Form1View, public Window, public ForeignCallObserver {
  public:
    explicit Form1Window(App& app);
    ~Form1Window() override;

    // Creates the window and its controls and runs Form_Load; the window is
    // not shown yet. Show creates it first when needed.
    void Create();
    void Show(int showCommand);

    // Public operation of the window: starts a program and waits for its end.
    std::int16_t ShellWait(std::wstring& cmdline, std::int16_t bShowApp);

    bool PreTranslate(MSG& msg) override;
    HWND Control(Form1Control control) const {
        return controls_[static_cast<std::size_t>(control)];
    }
    Form1& Handlers() { return *form_; }
    CodePane& Editor() { return *editor_; }
    Win32ResultViewer& ResultViewerWindow() { return resultViewer_; }

    // Form1View
    void SetCaption(Form1Label label, const std::wstring& text) override;
    std::wstring Caption(Form1Label label) override;
    void ShowMessage(const std::wstring& text, MessageIcon icon) override;
    void SetFileListFolder(const std::wstring& folder) override;
    std::wstring SelectedFileName() override;
    void EndProgram() override;

    // ForeignCallObserver: the editor text is copied aside before each call
    // into foreign code when it has changed.
    void BeforeForeignCall() override;
    std::wstring SavedTextNote() override;

    // Offers the editor text that an instance ending abnormally left behind.
    void OfferLeftOverText();
    const RecoveryFile& Recovery() const { return recovery_; }

  private:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void CreateControls(int dpi);
    void OnCommand(int id, int code);
    HBRUSH LabelColours(HWND control, HDC dc);
    HWND LabelControl(Form1Label label) const;

    enum class Copy { None, Saved, Failed };

    std::array<HWND, kForm1Controls.size()> controls_{};
    RecoveryFile recovery_{RecoveryFolder()};
    std::atomic<Copy> copy_{Copy::None};  // read by the watchdog's thread too
    std::unique_ptr<CodePane> editor_;
    Win32Libraries libraries_;
    Win32Bridge bridge_;
    Win32ResultViewer resultViewer_;
    Win32DemoExports demoExports_;
    Win32Automation automation_;
    std::unique_ptr<Form1> form_;
    HFONT font_ = nullptr;
    HBRUSH infoBrush_ = nullptr;
};

}  // namespace dllscope
