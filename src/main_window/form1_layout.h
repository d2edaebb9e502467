#pragma once
// Form1's controls: one typed row each, indexed by Form1Control, with its
// position and size in twips, caption, tab order and the handler a click
// on it runs.
#include <array>
#include <cstddef>
#include <string>

#include "main_window/form1.h"

namespace dllscope {

enum class ControlKind { Button, Label, FileList, Editor, Frame, TextBox };

// Form1's controls, in the order of kForm1Controls.
enum class Form1Control : std::size_t {
    Command17,
    Command9,
    Command10,
    Command7,
    Command14,
    Command15,
    File1,
    Label1,
    lblBackvalue,
    Label3,
    lblName,
    Label2,
    lblDescription,
    CodeMax1,
    Frame1,
    lblDateiname,
    Command11,
    Command13,
    Command4,
    Command5,
    Command3,
    Command6,
    Command12,
    Command2,
    Command1,
    Text1,
    Command8,
    Command16,
};

struct ControlLayout {
    Form1Control control;
    const wchar_t* name;  // the control's name, as error reports give it
    ControlKind kind;
    const wchar_t* text;           // caption at start
    int left, top, width, height;  // twips, relative to the container
    int tab;                       // place in the tab order, 0 first
    bool inFrame;                  // inside Frame1 rather than on the window
    void (Form1::*click)();        // the command of a button; nullptr elsewhere
};

inline constexpr int kForm1ClientWidth = 12375;  // twips
inline constexpr int kForm1ClientHeight = 7395;
// The status line below the layout: what became of a change of the folder.
inline constexpr int kForm1StatusHeight = 300;  // twips
inline constexpr int kForm1StatusId = 1999;

inline constexpr std::array<ControlLayout, 28> kForm1Controls{{
    {Form1Control::Command17, L"Command17", ControlKind::Button, L"Beenden", 60, 60, 2235, 435, 7,
     false, &Form1::Command17_Click},
    {Form1Control::Command9, L"Command9", ControlKind::Button, L"Alles markieren", 60, 480, 2235,
     435, 1, false, &Form1::Command9_Click},
    {Form1Control::Command10, L"Command10", ControlKind::Button, L"PluginRun", 60, 900, 2235, 435,
     2, false, &Form1::Command10_Click},
    {Form1Control::Command7, L"Command7", ControlKind::Button, L"PluginName", 60, 1320, 2235, 435,
     3, false, &Form1::Command7_Click},
    {Form1Control::Command14, L"Command14", ControlKind::Button, L"PluginDescription", 60, 1740,
     2235, 435, 4, false, &Form1::Command14_Click},
    {Form1Control::Command15, L"Command15", ControlKind::Button, L"PluginBackvalue", 60, 2160, 2235,
     435, 5, false, &Form1::Command15_Click},
    {Form1Control::File1, L"File1", ControlKind::FileList, L"", 60, 2640, 2235, 1590, 6, false,
     nullptr},
    {Form1Control::Label1, L"Label1", ControlKind::Label, L"Rückgabetyp:", 60, 4260, 1215, 195, 9,
     false, nullptr},
    {Form1Control::lblBackvalue, L"lblBackvalue", ControlKind::Label, L"", 60, 4500, 2205, 255, 10,
     false, nullptr},
    {Form1Control::Label3, L"Label3", ControlKind::Label, L"PluginName", 60, 4800, 1215, 195, 12,
     false, nullptr},
    {Form1Control::lblName, L"lblName", ControlKind::Label, L"", 60, 5040, 2205, 255, 13, false,
     nullptr},
    {Form1Control::Label2, L"Label2", ControlKind::Label, L"Beschreibung:", 60, 5340, 1215, 195, 11,
     false, nullptr},
    {Form1Control::lblDescription, L"lblDescription", ControlKind::Label, L"", 60, 5580, 2235, 1755,
     8, false, nullptr},
    {Form1Control::CodeMax1, L"CodeMax1", ControlKind::Editor, L"", 2400, 60, 9915, 6975, 0, false,
     nullptr},
    {Form1Control::Frame1, L"Frame1", ControlKind::Frame, L"Frame1", 9000, 1080, 2775, 4395, 14,
     false, nullptr},
    {Form1Control::lblDateiname, L"lblDateiname", ControlKind::Label, L"", 2400, 7080, 9915, 255,
     27, false, nullptr},
    {Form1Control::Command11, L"Command11", ControlKind::Button, L"ActiveX-DLL", 180, 240, 1095,
     315, 17, true, &Form1::Command11_Click},
    {Form1Control::Command13, L"Command13", ControlKind::Button, L"Purebasic", 180, 660, 1095, 315,
     15, true, &Form1::Command13_Click},
    {Form1Control::Command4, L"Command4", ControlKind::Button, L"DLL-Wrapper - Text", 180, 1140,
     1695, 315, 22, true, &Form1::Command4_Click},
    {Form1Control::Command5, L"Command5", ControlKind::Button, L"DLL-Wrapper - Form", 180, 1440,
     1695, 315, 21, true, &Form1::Command5_Click},
    {Form1Control::Command3, L"Command3", ControlKind::Button, L"Delphi-DLL Text direkt", 180, 1740,
     1815, 375, 23, true, &Form1::Command3_Click},
    {Form1Control::Command6, L"Command6", ControlKind::Button, L"Delphi-DLL Form direkt", 180, 2160,
     1815, 435, 20, true, &Form1::Command6_Click},
    {Form1Control::Command12, L"Command12", ControlKind::Button, L"Command11", 1440, 2640, 855, 615,
     16, true, &Form1::Command12_Click},
    {Form1Control::Command2, L"Command2", ControlKind::Button, L"Command2", 180, 2820, 675, 435, 24,
     true, nullptr},
    {Form1Control::Command1, L"Command1", ControlKind::Button, L"Command1", 840, 2820, 555, 435, 25,
     true, &Form1::Command1_Click},
    {Form1Control::Text1, L"Text1", ControlKind::TextBox, L"Text1", 1080, 3420, 1335, 375, 18, true,
     nullptr},
    {Form1Control::Command8, L"Command8", ControlKind::Button, L"Command8", 240, 3480, 795, 315, 19,
     true, &Form1::Command8_Click},
    {Form1Control::Command16, L"Command16", ControlKind::Button, L"PluginBackvalueType", 180, 3900,
     2235, 435, 26, true, &Form1::Command16_Click},
}};

constexpr bool RowsFollowTheEnum() {
    for (std::size_t i = 0; i < kForm1Controls.size(); ++i) {
        if (static_cast<std::size_t>(kForm1Controls[i].control) != i) return false;
    }
    return true;
}
static_assert(RowsFollowTheEnum(),
              "kForm1Controls lists the controls in the order of Form1Control");

constexpr const ControlLayout& Row(Form1Control control) {
    return kForm1Controls[static_cast<std::size_t>(control)];
}

// A command in the words of the window the author used: a button's
// caption ("PluginRun" for Command10_Click), "Liste der DLLs" for a choice
// in File1; any other handler as it is.
inline std::wstring Form1CommandWords(const std::wstring& handler) {
    for (const ControlLayout& c : kForm1Controls) {
        if (handler != std::wstring(c.name) + L"_Click") continue;
        return c.kind == ControlKind::FileList ? L"Liste der DLLs" : c.text;
    }
    return handler;
}

// The control id of an entry of kForm1Controls.
constexpr int Form1ControlId(std::size_t index) { return 1000 + static_cast<int>(index); }
constexpr int Form1ControlId(Form1Control control) {
    return Form1ControlId(static_cast<std::size_t>(control));
}

}  // namespace dllscope
