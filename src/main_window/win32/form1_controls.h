#pragma once
// One of Form1's controls as its row in the layout table makes it (the
// editor pane aside): a button, the frame, a label, the plugin list, a text
// box, in the window's font.
#include <windows.h>

#include "main_window/form1_layout.h"

namespace dllscope {

// The control of row `c` in `parent` (Form1, or Frame1 for the controls in
// it) at `px`, in pixels.
HWND CreateLayoutControl(const ControlLayout& c, HWND parent, int id, const RECT& px, HFONT font,
                         HINSTANCE instance);

}  // namespace dllscope
