#pragma once
// Form1 as a Win32 window: builds its controls from the layout table, routes
// each control event to its handler and shows what the handlers ask for.
// What the handlers reach beyond the window comes from the program.
#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "common/command_listener.h"
#include "common/win32/window.h"
#include "editor/win32/code_pane.h"
#include "main_window/form1.h"
#include "main_window/form1_layout.h"
#include "main_window/win32/folder_follower.h"

namespace dllscope {

// What Form1's handlers reach beyond the window, made by the program.
struct Form1Adapters {
    Libraries& libraries;
    Bridge& bridge;
    ResultViewer& resultViewer;
    std::wstring& resultFileName;
    DemoExports& demoExports;
    AutomationObjects& automation;
};

class Form1Window : public Form1View, public Window, public FollowedWindow {
  public:
    Form1Window(App& app, Form1Adapters adapters);
    ~Form1Window() override;

    // Creates the window and its controls and runs Form_Load; the window is
    // not shown yet. Show creates it first when needed.
    void Create();
    void Show(int showCommand);

    // Public operation of the window, which no command calls: starts a
    // program and waits for its end.
    std::int16_t ShellWait(std::wstring& cmdline, std::int16_t bShowApp);

    // An item at the end of the window's system menu, after a separator
    // before the first; `chosen` runs when it is chosen, and on Ctrl+Shift+
    // `key` (when given) wherever the focus is in the window. The window
    // exists. Gives the item's command id (WM_SYSCOMMAND).
    UINT AddSystemMenuItem(const std::wstring& text, std::function<void()> chosen, WPARAM key = 0);
    void CheckSystemMenuItem(UINT id, bool checked);

    bool PreTranslate(MSG& msg) override;
    HWND Control(Form1Control control) const {
        return controls_[static_cast<std::size_t>(control)];
    }
    Form1& Handlers() override { return *form_; }
    HWND Handle() const override { return hwnd_; }

    // FollowedWindow
    bool InCommand() const override { return commandDepth_ > 0; }
    void AsCommand(const std::wstring& handler, const std::function<void()>& body) override;
    std::vector<std::wstring> FileListEntries() const override;
    void ShowFileList(const std::vector<std::wstring>& names, int select) override;
    void SetStatus(const std::wstring& text) override;
    CodePane& Editor() { return *editor_; }
    // Told when each handler begins and when it has ended; it outlives the window.
    void AddCommandListener(CommandListener& listener) { listeners_.push_back(&listener); }

    // Form1View
    void SetCaption(Form1Label label, const std::wstring& text) override;
    std::wstring Caption(Form1Label label) override;
    void ShowMessage(const std::wstring& text, MessageIcon icon) override;
    void SetFileListFolder(const std::wstring& folder) override;
    std::wstring SelectedFileName() override;
    void EndProgram() override;

  private:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void CreateControls(int dpi);
    void OnCommand(int id, int code);
    HBRUSH LabelColours(HWND control, HDC dc);
    HWND LabelControl(Form1Label label) const;

    Form1Adapters adapters_;
    std::array<HWND, kForm1Controls.size()> controls_{};
    std::vector<HWND> tabStops_;  // in tab order
    std::unique_ptr<CodePane> editor_;
    std::unique_ptr<Form1> form_;
    HFONT font_ = nullptr;
    HBRUSH infoBrush_ = nullptr;
    struct SystemItem {
        std::function<void()> chosen;
        WPARAM key;
    };
    std::vector<SystemItem> systemItems_;
    std::vector<CommandListener*> listeners_;
    int commandDepth_ = 0;
    HWND status_ = nullptr;
    std::unique_ptr<FolderFollower> follower_;
};

}  // namespace dllscope
