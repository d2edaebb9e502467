#include "main_window/win32/form1_controls.h"

#include <commctrl.h>

namespace dllscope {
namespace {

// Frame1 holds its own controls: it passes their notifications on to Form1
// and paints its inside, since it lies over the editor pane.
LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    switch (msg) {
        case WM_COMMAND:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
            return SendMessageW(GetParent(hwnd), msg, wParam, lParam);
        case WM_ERASEBKGND: {
            RECT r;
            GetClientRect(hwnd, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r, GetSysColorBrush(COLOR_BTNFACE));
            return 1;
        }
        default:
            return DefSubclassProc(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

HWND CreateLayoutControl(const ControlLayout& c, HWND parent, int id, const RECT& px, HFONT font,
                         HINSTANCE instance) {
    const wchar_t* cls = L"BUTTON";
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    switch (c.kind) {
        case ControlKind::Button:
            style |= WS_TABSTOP | BS_PUSHBUTTON;
            break;
        case ControlKind::Frame:
            style |= BS_GROUPBOX | WS_CLIPCHILDREN;
            exStyle = WS_EX_CONTROLPARENT;
            break;
        case ControlKind::Label:
            cls = L"STATIC";
            style |= SS_LEFT | SS_NOPREFIX;
            break;
        case ControlKind::FileList:
            cls = L"LISTBOX";
            style |= WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case ControlKind::TextBox:
            cls = L"EDIT";
            style |= WS_TABSTOP | ES_AUTOHSCROLL;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case ControlKind::Editor:
            break;
    }
    const HWND w = CreateWindowExW(
        exStyle, cls, c.text, style, px.left, px.top, px.right - px.left, px.bottom - px.top,
        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (c.kind == ControlKind::Frame) SetWindowSubclass(w, FrameProc, 0, 0);
    return w;
}

}  // namespace dllscope
