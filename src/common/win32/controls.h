#pragma once
// Child controls as objects: made by a layout of rows and cells (pixels at
// 96 DPI, scaled to the screen), each reached through its object, its
// notifications routed to its handler; and the program's dialog font.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace dllscope {

// The program's font at 8 points for `dpi` (MS Shell Dlg unless another
// face is named), bold when asked; the caller deletes it.
HFONT CreateDialogFont(int dpi, bool bold = false, const wchar_t* face = L"MS Shell Dlg");

class Control {
  public:
    HWND Handle() const { return hwnd_; }
    int Id() const { return id_; }
    std::wstring Text() const;
    void SetText(const std::wstring& text) const { SetWindowTextW(hwnd_, text.c_str()); }
    void Enable(bool on) const { EnableWindow(hwnd_, on ? TRUE : FALSE); }
    void Focus() const { SetFocus(hwnd_); }
    bool HasFocus() const { return GetFocus() == hwnd_; }
    LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return SendMessageW(hwnd_, msg, wParam, lParam);
    }
    // Its WM_COMMAND notifications (BN_CLICKED, LBN_SELCHANGE, ...).
    std::function<void(WORD notification)> onCommand;

  private:
    friend class ControlRows;
    HWND hwnd_ = nullptr;
    int id_ = 0;
};

// Lays controls out in rows, top to bottom, each control in the next cell
// of its row, left to right; a control with an object gets the next id.
class ControlRows {
  public:
    ControlRows(HWND parent, HINSTANCE instance, HFONT font, int dpi, int firstId)
        : parent_(parent), instance_(instance), font_(font), dpi_(dpi), nextId_(firstId) {}

    // A row from `top`, `height` pixels tall; its cells from `left`.
    void Row(int top, int height, int left = 10);
    // The next cell, `width` pixels wide after a gap of `before`; the
    // control sits `down` pixels below the row's top, `height` tall (0: the
    // row's height). `control` may be null for a label no one speaks to.
    HWND Add(Control* control, const wchar_t* cls, const wchar_t* text, DWORD style, int width,
             int before = 0, int down = 0, int height = 0);
    // Routes a WM_COMMAND to the handler of its control; false when none took it.
    bool Command(WPARAM wParam) const;

  private:
    int Px(int v) const { return MulDiv(v, dpi_, 96); }
    HWND parent_;
    HINSTANCE instance_;
    HFONT font_;
    int dpi_, nextId_;
    int top_ = 0, height_ = 0, x_ = 0;
    std::vector<Control*> controls_;
};

}  // namespace dllscope
