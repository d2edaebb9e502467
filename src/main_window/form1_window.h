#pragma once
// Form1 as a Win32 window: builds its controls from the layout table, routes
// each control event to its handler and shows what the handlers ask for.
#include <windows.h>

#include <array>
#include <memory>

#include "app/app.h"
#include "editor/rich_edit_pane.h"
#include "main_window/form1.h"
#include "main_window/form1_layout.h"
#include "plugin/win32_bridge.h"
#include "plugin/win32_demo.h"
#include "plugin/win32_libraries.h"
#include "result_viewer/form2_window.h"

namespace dllscope {

class Form1Window : public Form1View, public AppWindow {
public:
    explicit Form1Window(App& app);
    ~Form1Window() override;
    Form1Window(const Form1Window&) = delete;
    Form1Window& operator=(const Form1Window&) = delete;

    // Creates the window and its controls and runs Form_Load; the window is
    // not shown yet. Show creates it first when needed.
    void Create();
    void Show(int showCommand);

    // Public operation of the window: starts a program and waits for its end.
    std::int16_t ShellWait(std::wstring& cmdline, std::int16_t bShowApp);

    HWND Handle() const override { return hwnd_; }
    bool PreTranslate(MSG& msg) override;
    HWND Control(const wchar_t* name) const;
    Form1& Handlers() { return *form_; }
    RichEditPane& Editor() { return *editor_; }
    Win32ResultViewer& ResultViewerWindow() { return resultViewer_; }

    // Form1View
    void SetCaption(Form1Label label, const std::wstring& text) override;
    std::wstring Caption(Form1Label label) override;
    void ShowMessage(const std::wstring& text, MessageIcon icon) override;
    void SetFileListFolder(const std::wstring& folder) override;
    std::wstring SelectedFileName() override;
    void EndProgram() override;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void CreateControls(int dpi);
    void OnCommand(int id, int code);
    HBRUSH LabelColours(HWND control, HDC dc);
    HWND LabelControl(Form1Label label) const;

    App& app_;
    HWND hwnd_ = nullptr;
    std::array<HWND, kForm1Controls.size()> controls_{};
    std::unique_ptr<RichEditPane> editor_;
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
