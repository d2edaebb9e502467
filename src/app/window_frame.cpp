#include "app/window_frame.h"

#include "app/message_box.h"
#include "main_window/form1_layout.h"

namespace dllscope {

int ScreenDpi() {
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

HWND CreateFixedWindow(const wchar_t* windowClass, int clientWidthTwips, int clientHeightTwips,
                       int dpi, HINSTANCE instance, void* self) {
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT r{0, 0, TwipsToPixels(clientWidthTwips, dpi), TwipsToPixels(clientHeightTwips, dpi)};
    AdjustWindowRectEx(&r, style, FALSE, 0);
    return CreateWindowExW(0, windowClass, kAppTitle, style, CW_USEDEFAULT, CW_USEDEFAULT,
                           r.right - r.left, r.bottom - r.top, nullptr, nullptr, instance, self);
}

}  // namespace dllscope
