#pragma once
// The base of the program's windows: a top-level window captioned
// "Dllscope" that the user cannot resize, of a class of the program's own,
// whose messages reach the C++ object that created it.
#include <windows.h>

#include <string>

#include "common/win32/app.h"

namespace dllscope {

// The screen's dots per inch (96 when it cannot be read).
int ScreenDpi();

// A window's or control's text, whatever its length.
std::wstring WindowText(HWND window);

class Window : public AppWindow {
  public:
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND Handle() const override { return hwnd_; }
    bool PreTranslate(MSG&) override { return false; }

  protected:
    explicit Window(App& app) : app_(app) {}

    // Registers the class and creates the window, its client area the given
    // size in twips; the program counts it as open until it is destroyed.
    void CreateFixed(const wchar_t* windowClass, int clientWidthTwips, int clientHeightTwips,
                     int dpi);

    // The window's messages; what it returns is the message's result.
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
        return DefWindowProcW(hwnd_, msg, wParam, lParam);
    }

    App& app_;
    HWND hwnd_ = nullptr;  // nullptr once the window is destroyed

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
};

}  // namespace dllscope
