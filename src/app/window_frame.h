#pragma once
// What the program's two windows share.
#include <windows.h>

namespace dllscope {

// The screen's dots per inch (96 when it cannot be read).
int ScreenDpi();

// A top-level window captioned "Dllscope" that the user cannot resize, whose
// client area has the given size in twips. `self` reaches WM_NCCREATE.
HWND CreateFixedWindow(const wchar_t* windowClass, int clientWidthTwips, int clientHeightTwips,
                       int dpi, HINSTANCE instance, void* self);

}  // namespace dllscope
