// Form1 as a real window: its layout in pixels at 96 DPI, its colours, its
// list, and its handlers reached through the controls.
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "main_window/win32/form1_window.h"
#include "test_support.h"

namespace dllscope::testing {
namespace {

using ::testing::ElementsAre;

struct Expected {
    const wchar_t* name;
    const wchar_t* windowClass;
    const wchar_t* text;
    int left, top, width, height;  // pixels at 96 DPI, in the parent's client area
    bool inFrame;
};

// Every control, from the twips of the design divided by 15.
const Expected kExpected[] = {
    {L"Command17", L"Button", L"Beenden", 4, 4, 149, 29, false},
    {L"Command9", L"Button", L"Alles markieren", 4, 32, 149, 29, false},
    {L"Command10", L"Button", L"PluginRun", 4, 60, 149, 29, false},
    {L"Command7", L"Button", L"PluginName", 4, 88, 149, 29, false},
    {L"Command14", L"Button", L"PluginDescription", 4, 116, 149, 29, false},
    {L"Command15", L"Button", L"PluginBackvalue", 4, 144, 149, 29, false},
    {L"File1", L"ListBox", L"", 4, 176, 149, 106, false},
    {L"Label1", L"Static", L"Rückgabetyp:", 4, 284, 81, 13, false},
    {L"lblBackvalue", L"Static", L"", 4, 300, 147, 17, false},
    {L"Label3", L"Static", L"PluginName", 4, 320, 81, 13, false},
    {L"lblName", L"Static", L"", 4, 336, 147, 17, false},
    {L"Label2", L"Static", L"Beschreibung:", 4, 356, 81, 13, false},
    {L"lblDescription", L"Static", L"", 4, 372, 149, 117, false},
    {L"CodeMax1", L"Scintilla", L"", 160, 4, 661, 465, false},
    {L"Frame1", L"Button", L"Frame1", 600, 72, 185, 293, false},
    {L"lblDateiname", L"Static", nullptr, 160, 472, 661, 17, false},
    {L"Command11", L"Button", L"ActiveX-DLL", 12, 16, 73, 21, true},
    {L"Command13", L"Button", L"Purebasic", 12, 44, 73, 21, true},
    {L"Command4", L"Button", L"DLL-Wrapper - Text", 12, 76, 113, 21, true},
    {L"Command5", L"Button", L"DLL-Wrapper - Form", 12, 96, 113, 21, true},
    {L"Command3", L"Button", L"Delphi-DLL Text direkt", 12, 116, 121, 25, true},
    {L"Command6", L"Button", L"Delphi-DLL Form direkt", 12, 144, 121, 29, true},
    {L"Command12", L"Button", L"Command11", 96, 176, 57, 41, true},
    {L"Command2", L"Button", L"Command2", 12, 188, 45, 29, true},
    {L"Command1", L"Button", L"Command1", 56, 188, 37, 29, true},
    {L"Text1", L"Edit", L"Text1", 72, 228, 89, 25, true},
    {L"Command8", L"Button", L"Command8", 16, 232, 53, 21, true},
    {L"Command16", L"Button", L"PluginBackvalueType", 12, 260, 149, 29, true},
};

using Form1Window_ = Form1WindowTest;

TEST_F(Form1Window_, EveryControlSitsAtItsPlaceInPixelsAt96Dpi) {
    ShowWindow(window.Handle(), SW_SHOWNOACTIVATE);
    RECT client;
    GetClientRect(window.Handle(), &client);
    // The layout's 825 x 493, and the status line of 20 below it, as wide.
    EXPECT_EQ(client.right, 825);
    EXPECT_EQ(client.bottom, 493 + 20);
    RECT status;
    GetWindowRect(GetDlgItem(window.Handle(), kForm1StatusId), &status);
    MapWindowPoints(nullptr, window.Handle(), reinterpret_cast<POINT*>(&status), 2);
    EXPECT_EQ(status.left, 0);
    EXPECT_EQ(status.top, 493);
    EXPECT_EQ(status.right, 825);
    EXPECT_EQ(status.bottom, 513);
    EXPECT_EQ(TextOf(window.Handle()), L"Dllscope");
    for (const Expected& e : kExpected) {
        SCOPED_TRACE(e.name);
        const HWND w = C(e.name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(GetParent(w), e.inFrame ? C(L"Frame1") : window.Handle());
        RECT r;
        GetWindowRect(w, &r);
        MapWindowPoints(nullptr, GetParent(w), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, e.left);
        EXPECT_EQ(r.top, e.top);
        EXPECT_EQ(r.right - r.left, e.width);
        EXPECT_EQ(r.bottom - r.top, e.height);
        wchar_t cls[64];
        GetClassNameW(w, cls, 64);
        EXPECT_EQ(_wcsicmp(cls, e.windowClass), 0) << cls;
        if (e.text) {
            EXPECT_EQ(TextOf(w), e.text);
        }
        EXPECT_TRUE(IsWindowVisible(w));  // Frame1 and its controls included
    }
    EXPECT_EQ(GetWindowLongW(C(L"Frame1"), GWL_STYLE) & BS_TYPEMASK, BS_GROUPBOX);
}

TEST_F(Form1Window_, IsAFixedSizeWindowWithAnIconAndFrame1DrawnAboveTheEditor) {
    const LONG style = GetWindowLongW(window.Handle(), GWL_STYLE);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
    EXPECT_NE(GetClassLongPtrW(window.Handle(), GCLP_HICON), 0u);
    bool frameFirst = false;
    for (HWND w = GetWindow(window.Handle(), GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (w == C(L"Frame1")) frameFirst = true;
        if (w == C(L"CodeMax1")) break;
    }
    EXPECT_TRUE(frameFirst) << "Frame1 must lie above the editor pane";
}

TEST_F(Form1Window_, InformationLabelsHaveTheirColours) {
    const HDC dc = CreateCompatibleDC(nullptr);
    struct Colours {
        COLORREF background, textBackground, text;
        bool operator==(const Colours& o) const {
            return background == o.background && textBackground == o.textBackground &&
                   text == o.text;
        }
    };
    const auto colours = [&](const wchar_t* name) {
        // The brush paints the label; the text's own background and colour go to the DC.
        const auto brush = reinterpret_cast<HBRUSH>(
            SendMessageW(window.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(C(name))));
        LOGBRUSH painted{};
        GetObjectW(brush, sizeof painted, &painted);
        return Colours{painted.lbColor, GetBkColor(dc), GetTextColor(dc)};
    };
    const COLORREF yellow = RGB(255, 255, 192), text = GetSysColor(COLOR_WINDOWTEXT);
    EXPECT_TRUE(colours(L"lblBackvalue") == (Colours{yellow, yellow, text}));
    EXPECT_TRUE(colours(L"lblName") == (Colours{yellow, yellow, text}));
    EXPECT_TRUE(colours(L"lblDescription") == (Colours{yellow, yellow, RGB(0, 0, 255)}));
    const COLORREF white = GetSysColor(COLOR_WINDOW);
    EXPECT_TRUE(colours(L"lblDateiname") == (Colours{white, white, text}));
    DeleteDC(dc);
}

TEST_F(Form1Window_, StartUpListsTheFoldersDllsAndShowsTheExchangeFile) {
    EXPECT_EQ(TextOf(C(L"lblDateiname")), TestFolder() + L"\\dateiname.txt");
    const HWND list = C(L"File1");
    std::vector<std::wstring> entries;
    for (LRESULT i = 0; i < SendMessageW(list, LB_GETCOUNT, 0, 0); ++i) {
        wchar_t entry[MAX_PATH];
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry));
        entries.push_back(entry);
    }
    EXPECT_THAT(entries, ElementsAre(L"code-1.dll", L"code-32768.dll", L"code0.dll", L"code1.dll",
                                     L"code2.dll", L"code3.dll", L"code4.dll", L"modbridge.dll",
                                     L"nullbstr.dll", L"writeback.dll"));
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), LB_ERR);  // nothing selected at start
    EXPECT_EQ(TextOf(C(L"lblName")), L"");
    EXPECT_TRUE(ReadCallLog().empty());
}

TEST_F(Form1Window_, ASelectionInTheListFillsTheLabels) {
    SelectInList(L"code2.dll");
    EXPECT_EQ(TextOf(C(L"lblBackvalue")), L"Dateiname vom Plugin");
    EXPECT_EQ(TextOf(C(L"lblName")), L"Name:" + InTestFolder(L"code2.dll"));
    EXPECT_EQ(TextOf(C(L"lblDescription")), L"Beschreibung");  // a label ends at the NUL
    EXPECT_EQ(window.Handlers().SelectedPluginFileName(), L"code2.dll");
}

TEST_F(Form1Window_, SelectAllButtonSelectsTheEditorTextAndFocusesIt) {
    ShowWindow(window.Handle(), SW_SHOW);
    window.Editor().SetWorkText(L"alles hier");
    SetFocus(C(L"Command9"));
    Click(L"Command9");
    EXPECT_EQ(window.Editor().WorkText(), L"alles hier");
    EXPECT_EQ(GetFocus(), C(L"CodeMax1"));
    DWORD from = 1, to = 0;
    SendMessageW(C(L"CodeMax1"), EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                 reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(from, 0u);
    EXPECT_GE(to, 10u);
}

TEST_F(Form1Window_, TabFollowsTheWindowsTabOrder) {
    ShowWindow(window.Handle(), SW_SHOW);
    const auto tabFrom = [&](const wchar_t* from, bool shift) {
        SetFocus(C(from));
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(keys);
        MSG msg{C(from), WM_KEYDOWN, VK_TAB, 0, 0, {}};
        EXPECT_TRUE(window.PreTranslate(msg));
        keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
        return GetFocus();
    };
    // The whole order, from the first button round to the editor pane.
    const std::vector<std::wstring> order = {L"Command9",  L"Command10", L"Command7",  L"Command14",
                                             L"Command15", L"File1",     L"Command17", L"Command13",
                                             L"Command12", L"Command11", L"Text1",     L"Command8",
                                             L"Command6",  L"Command5",  L"Command4",  L"Command3",
                                             L"Command2",  L"Command1",  L"Command16", L"CodeMax1"};
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        EXPECT_EQ(tabFrom(order[i].c_str(), false), C(order[i + 1].c_str()))
            << "Tab from " << order[i];
    }
    EXPECT_EQ(tabFrom(L"Command9", true), C(L"CodeMax1"));
    MSG inEditor{C(L"CodeMax1"), WM_KEYDOWN, VK_TAB, 0, 0, {}};
    EXPECT_FALSE(window.PreTranslate(inEditor));  // the editor keeps its Tab
}

}  // namespace
}  // namespace dllscope::testing
