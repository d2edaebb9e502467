#pragma once
// Form1's controls: position and size in twips, caption, tab order.
#include <array>

namespace dllscope {

enum class ControlKind { Button, Label, FileList, Editor, Frame, TextBox };

struct ControlLayout {
    const wchar_t* name;
    ControlKind kind;
    const wchar_t* text;  // caption at start
    int left, top, width, height;  // twips, relative to the container
    int tab;                       // place in the tab order, 0 first
    bool inFrame;                  // inside Frame1 rather than on the window
};

inline constexpr int kForm1ClientWidth = 12375;  // twips
inline constexpr int kForm1ClientHeight = 7395;

inline constexpr std::array<ControlLayout, 28> kForm1Controls{{
    {L"Command17", ControlKind::Button, L"Beenden", 60, 60, 2235, 435, 7, false},
    {L"Command9", ControlKind::Button, L"Alles markieren", 60, 480, 2235, 435, 1, false},
    {L"Command10", ControlKind::Button, L"PluginRun", 60, 900, 2235, 435, 2, false},
    {L"Command7", ControlKind::Button, L"PluginName", 60, 1320, 2235, 435, 3, false},
    {L"Command14", ControlKind::Button, L"PluginDescription", 60, 1740, 2235, 435, 4, false},
    {L"Command15", ControlKind::Button, L"PluginBackvalue", 60, 2160, 2235, 435, 5, false},
    {L"File1", ControlKind::FileList, L"", 60, 2640, 2235, 1590, 6, false},
    {L"Label1", ControlKind::Label, L"Rückgabetyp:", 60, 4260, 1215, 195, 9, false},
    {L"lblBackvalue", ControlKind::Label, L"", 60, 4500, 2205, 255, 10, false},
    {L"Label3", ControlKind::Label, L"PluginName", 60, 4800, 1215, 195, 12, false},
    {L"lblName", ControlKind::Label, L"", 60, 5040, 2205, 255, 13, false},
    {L"Label2", ControlKind::Label, L"Beschreibung:", 60, 5340, 1215, 195, 11, false},
    {L"lblDescription", ControlKind::Label, L"", 60, 5580, 2235, 1755, 8, false},
    {L"CodeMax1", ControlKind::Editor, L"", 2400, 60, 9915, 6975, 0, false},
    {L"Frame1", ControlKind::Frame, L"Frame1", 9000, 1080, 2775, 4395, 14, false},
    {L"lblDateiname", ControlKind::Label, L"", 2400, 7080, 9915, 255, 27, false},
    {L"Command11", ControlKind::Button, L"ActiveX-DLL", 180, 240, 1095, 315, 17, true},
    {L"Command13", ControlKind::Button, L"Purebasic", 180, 660, 1095, 315, 15, true},
    {L"Command4", ControlKind::Button, L"DLL-Wrapper - Text", 180, 1140, 1695, 315, 22, true},
    {L"Command5", ControlKind::Button, L"DLL-Wrapper - Form", 180, 1440, 1695, 315, 21, true},
    {L"Command3", ControlKind::Button, L"Delphi-DLL Text direkt", 180, 1740, 1815, 375, 23, true},
    {L"Command6", ControlKind::Button, L"Delphi-DLL Form direkt", 180, 2160, 1815, 435, 20, true},
    {L"Command12", ControlKind::Button, L"Command11", 1440, 2640, 855, 615, 16, true},
    {L"Command2", ControlKind::Button, L"Command2", 180, 2820, 675, 435, 24, true},
    {L"Command1", ControlKind::Button, L"Command1", 840, 2820, 555, 435, 25, true},
    {L"Text1", ControlKind::TextBox, L"Text1", 1080, 3420, 1335, 375, 18, true},
    {L"Command8", ControlKind::Button, L"Command8", 240, 3480, 795, 315, 19, true},
    {L"Command16", ControlKind::Button, L"PluginBackvalueType", 180, 3900, 2235, 435, 26, true},
}};

// Twips to pixels at the given dots per inch, rounded to the nearest pixel
// (15 twips make one pixel at 96 DPI).
constexpr int TwipsToPixels(int twips, int dpi) { return (twips * dpi + 720) / 1440; }

// The control id of an entry of kForm1Controls.
constexpr int Form1ControlId(std::size_t index) { return 1000 + static_cast<int>(index); }

}  // namespace dllscope
