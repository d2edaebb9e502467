#pragma once
// Twips, the unit of the windows' layout tables.

namespace dllscope {

// Twips to pixels at the given dots per inch, rounded to the nearest pixel
// (15 twips make one pixel at 96 DPI).
constexpr int TwipsToPixels(int twips, int dpi) { return (twips * dpi + 720) / 1440; }

}  // namespace dllscope
