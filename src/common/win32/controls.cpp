#include "common/win32/controls.h"

#include <cwchar>

#include "common/win32/window.h"

namespace dllscope {

HFONT CreateDialogFont(int dpi, bool bold, const wchar_t* face) {
    return CreateFontW(-MulDiv(8, dpi, 72), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                       FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, face);
}

std::wstring Control::Text() const { return WindowText(hwnd_); }

void ControlRows::Row(int top, int height, int left) {
    top_ = top;
    height_ = height;
    x_ = left;
}

HWND ControlRows::Add(Control* control, const wchar_t* cls, const wchar_t* text, DWORD style,
                      int width, int before, int down, int height) {
    x_ += before;
    const DWORD exStyle = (std::wcscmp(cls, L"EDIT") == 0 || std::wcscmp(cls, L"LISTBOX") == 0)
                              ? WS_EX_CLIENTEDGE
                              : 0;
    const int id = control ? nextId_++ : 0;
    const HWND h =
        CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, Px(x_), Px(top_ + down),
                        Px(width), Px(height ? height : height_), parent_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    x_ += width;
    if (control) {
        control->hwnd_ = h;
        control->id_ = id;
        controls_.push_back(control);
    }
    return h;
}

bool ControlRows::Command(WPARAM wParam) const {
    for (const Control* c : controls_) {
        if (c->id_ != LOWORD(wParam) || !c->onCommand) continue;
        c->onCommand(HIWORD(wParam));
        return true;
    }
    return false;
}

}  // namespace dllscope
