#pragma once
// The application object: the open windows, the error report of a
// command, and the message loop.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dllscope {

// A top-level window of the program, as the message loop sees it.
class AppWindow {
  public:
    virtual ~AppWindow() = default;
    virtual HWND Handle() const = 0;
    // Keyboard navigation of the window's own; true when the message was used.
    virtual bool PreTranslate(MSG& msg) = 0;
};

// A modeless dialog (the panes' find dialogs) gets its keyboard through the
// message loop while it is open.
void RememberModelessDialog(HWND dialog);
void ForgetModelessDialog(HWND dialog);

class App {
  public:
    explicit App(HINSTANCE instance) : instance_(instance) {}
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    HINSTANCE Instance() const { return instance_; }

    // Registers a window class of the program's, with its icon.
    void RegisterWindowClass(const wchar_t* name, WNDPROC proc) const;

    // The folder of the running executable.

    // The program ends once the last open window is closed.
    void WindowOpened(AppWindow& window);
    void WindowClosed(AppWindow& window);

    // Runs a command handler; an error it lets escape is reported in a
    // message box naming the command, and the program goes on.
    void RunCommand(HWND owner, const std::wstring& caption, const std::wstring& handler,
                    const std::function<void()>& body);

    int RunMessageLoop();

  private:
    HINSTANCE instance_;
    std::vector<AppWindow*> windows_;
};

}  // namespace dllscope
