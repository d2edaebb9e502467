// Dllscope.exe as a plugin author uses it: start, pick a plugin, read.
#include <fstream>

#include <windows.h>
#include <commctrl.h>

#include <functional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "driver.h"

namespace dllscope::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::wstring AppFolder(const wchar_t* name) { return E2eFolder() + L"\\" + name; }
std::wstring Shot(const wchar_t* name) { return E2eFolder() + L"\\screenshots\\" + name + L".bmp"; }

TEST(MainWindow, StartsWithTheFoldersLibrariesAndTheExchangeFileAndNothingSelected) {
    Driver app(AppFolder(L"app"));
    EXPECT_EQ(app.TextOf(app.Main()), L"Dllscope");
    EXPECT_THAT(app.ListEntries(app.Control(L"File1")),
                ElementsAre(L"actxdemo.dll", L"comdemo.dll", L"demopane.dll", L"demotext.dll",
                            L"entities.dll", L"htmlcheck.dll", L"lexdemo.dll", L"modbridge.dll",
                            L"noplugin.dll", L"outline.dll", L"tidyfile.dll"));
    EXPECT_EQ(app.TextOf(app.Control(L"lblDateiname")), AppFolder(L"app") + L"\\dateiname.txt");
    EXPECT_EQ(app.TextOf(app.Control(L"lblName")), L"");
    EXPECT_EQ(app.TextOf(app.Control(L"lblBackvalue")), L"");
    app.Screenshot(app.Main(), Shot(L"form1-start"));
}

TEST(MainWindow, ClickingAPluginShowsWhatItReportsAndArrowKeysFollow) {
    Driver app(AppFolder(L"app"));
    app.ClickListEntry(app.Control(L"File1"), L"entities.dll");
    EXPECT_EQ(app.TextOf(app.Control(L"lblBackvalue")), L"Text zum/vom Plugin");
    EXPECT_EQ(app.TextOf(app.Control(L"lblName")), L"HTML-Entities");
    EXPECT_THAT(app.TextOf(app.Control(L"lblDescription")), HasSubstr(L"HTML-Entities"));
    app.Screenshot(app.Main(), Shot(L"form1-entities"));

    app.PressKey(VK_DOWN);  // a check: return type 0
    EXPECT_EQ(app.TextOf(app.Control(L"lblBackvalue")), L"Nichts");
    EXPECT_EQ(app.TextOf(app.Control(L"lblName")), L"HTML-Verschachtelung pruefen");

    app.PressKey(VK_DOWN);  // a demo library that is no plugin: code -1 keeps the words
    EXPECT_EQ(app.TextOf(app.Control(L"lblBackvalue")), L"Nichts");
    EXPECT_EQ(app.TextOf(app.Control(L"lblName")), L"(kein Plugin)");
    EXPECT_THAT(app.TextOf(app.Control(L"lblDescription")), HasSubstr(L"\"TsBackvalue\" fehlt"));

    app.PressKey(VK_DOWN);  // the bridge itself
    EXPECT_THAT(app.TextOf(app.Control(L"lblName")), HasSubstr(L"Brücke"));
    EXPECT_TRUE(app.NoMessageBoxWithin(300));
}

// Dllscope follows its folder: a DLL copied in appears in the list's order
// and leaves it when removed; a selected plugin that ran and is then rebuilt
// over its file (which Dllscope holds no handle on between runs, in its own
// process and with --isolated) shows its new name without a click, and says
// so in the status line; the selection, the pane's text and the focus stay.
void FollowTheFolder(const wchar_t* mode) {
    const std::wstring folder = AppFolder(L"following"), built = AppFolder(L"app");
    ASSERT_TRUE(CopyFileW((built + L"\\entities.dll").c_str(),
                          (folder + L"\\meinplugin.dll").c_str(), FALSE));
    DeleteFileW((folder + L"\\neu.dll").c_str());
    Driver app(folder, L"", mode);
    const HWND list = app.Control(L"File1"), pane = app.Control(L"CodeMax1");
    const HWND name = app.Control(L"lblName"), status = GetDlgItem(app.Main(), 1999);
    const auto within = [](const std::function<bool()>& holds) {
        for (int waited = 0; waited < 10000; waited += 100, Sleep(100))
            if (holds()) return true;
        return holds();
    };
    EXPECT_THAT(app.ListEntries(list), ElementsAre(L"meinplugin.dll", L"modbridge.dll"));
    app.ClickListEntry(list, L"meinplugin.dll");
    EXPECT_EQ(app.TextOf(name), L"HTML-Entities");
    app.Click(pane);
    app.Type(L"<b>");
    app.Click(app.Control(L"Command10"));  // the plugin runs once: "<b>" becomes "&lt;b&gt;"
    EXPECT_TRUE(within([&] { return app.TextOf(pane) == L"&lt;b&gt;"; })) << app.TextOf(pane);
    app.Click(pane);

    ASSERT_TRUE(
        CopyFileW((built + L"\\htmlcheck.dll").c_str(), (folder + L"\\neu.dll").c_str(), FALSE));
    EXPECT_TRUE(within([&] { return app.ListEntries(list).size() == 3; }));
    EXPECT_THAT(app.ListEntries(list),
                ElementsAre(L"meinplugin.dll", L"modbridge.dll", L"neu.dll"));

    ASSERT_TRUE(CopyFileW((built + L"\\htmlcheck.dll").c_str(),
                          (folder + L"\\meinplugin.dll").c_str(), FALSE))
        << "the file of a plugin that ran stays locked: " << GetLastError();
    EXPECT_TRUE(within([&] { return app.TextOf(name) == L"HTML-Verschachtelung pruefen"; }))
        << app.TextOf(status);
    EXPECT_THAT(app.TextOf(status), StartsWith(L"\u201Emeinplugin.dll\u201C neu eingelesen ("));
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(app.TextOf(pane), L"&lt;b&gt;");
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(app.Main(), nullptr), &gui));
    EXPECT_EQ(gui.hwndFocus, pane);

    ASSERT_TRUE(DeleteFileW((folder + L"\\neu.dll").c_str()));
    EXPECT_TRUE(within([&] { return app.ListEntries(list).size() == 2; }));
    EXPECT_TRUE(app.NoMessageBoxWithin(300));
}

TEST(MainWindow, TheListFollowsTheFolderAndARebuiltSelectedPluginIsReadAgain) {
    FollowTheFolder(L"");
}

TEST(MainWindow, WithIsolatedPluginsARebuiltPluginThatRanIsReadAgainToo) {
    FollowTheFolder(L"--isolated");
}

TEST(MainWindow, WithoutABridgeASelectionWarnsWithTheExclamationIcon) {
    Driver app(AppFolder(L"nobridge"));
    app.ClickListEntry(app.Control(L"File1"), L"entities.dll");
    const MessageBoxSeen box = app.WaitForMessageBox();
    ASSERT_NE(box.hwnd, nullptr);
    EXPECT_EQ(box.title, L"Dllscope");
    EXPECT_EQ(box.text, L"Ungültige DLL für Tagsmith!");
    EXPECT_EQ(box.icon, Icon::Exclamation);
    app.Screenshot(box.hwnd, Shot(L"warning"));
    app.PressOk(box);
    EXPECT_FALSE(IsWindow(box.hwnd));
    EXPECT_EQ(app.TextOf(app.Control(L"lblName")), L"");
    // The program goes on: the next selection warns again.
    app.ClickListEntry(app.Control(L"File1"), L"entities.dll");
    app.PressKey(VK_UP);
    const MessageBoxSeen again = app.WaitForMessageBox();
    EXPECT_EQ(again.text, L"Ungültige DLL für Tagsmith!");
    app.PressOk(again);
}

TEST(MainWindow, SelectAllSelectsTheTypedTextAndBeendenEndsTheProgramLeavingNoCopy) {
    const std::wstring appData = FreshFolder(L"localappdata");
    Driver app(AppFolder(L"app"), appData);
    const HWND editor = app.Control(L"CodeMax1");
    app.Click(editor);
    app.Type(L"<p>Grüße</p>");
    EXPECT_EQ(app.TextOf(editor), L"<p>Grüße</p>");
    app.Click(app.Control(L"Command9"));
    const LRESULT sel = SendMessageW(editor, EM_GETSEL, 0, 0);
    EXPECT_EQ(LOWORD(sel), 0);
    EXPECT_GE(HIWORD(sel), 12);
    // The keyboard went to the pane and the selection covers it all: typing replaces everything.
    app.Type(L"X");
    EXPECT_EQ(app.TextOf(editor), L"X");
    app.ClickListEntry(app.Control(L"File1"), L"entities.dll");  // a call: the text is copied
    ASSERT_EQ(CopiesIn(appData), 1);
    app.Click(app.Control(L"Command17"));
    EXPECT_TRUE(app.WaitForExit(kWait));
    EXPECT_EQ(CopiesIn(appData), 0);
    Driver again(AppFolder(L"app"), appData);
    EXPECT_TRUE(again.NoMessageBoxWithin(1500)) << "a normal end's text offered again";
}

// The selection of a pane as EM_GETSEL gives it.
std::pair<int, int> SelectionOf(HWND pane) {
    DWORD from = 0, to = 0;
    SendMessageW(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    return {static_cast<int>(from), static_cast<int>(to)};
}

TEST(MainWindow, CtrlOOrADroppedFileReplacesThePanesTextAsOneStepOfUndo) {
    const std::wstring folder = FreshFolder(L"pages");
    std::ofstream((folder + L"\\utf8.html").c_str(), std::ios::binary)
        << "\xEF\xBB\xBF<p>Gr\xC3\xBC\xC3\x9F"
           "e \xE2\x82\xAC</p>";
    std::ofstream((folder + L"\\ansi.html").c_str(), std::ios::binary) << "<p>Gr\xFC\xDF"
                                                                          "e</p>";
    Driver app(AppFolder(L"app"));
    const HWND editor = app.Control(L"CodeMax1");
    app.Click(editor);
    app.Type(L"vorher");
    for (const auto& [file, text] :
         {std::pair{L"utf8.html", L"<p>Grüße €</p>"}, std::pair{L"ansi.html", L"<p>Grüße</p>"}}) {
        app.PressKeys({VK_CONTROL, 'O'});
        const HWND dialog = app.WaitForWindow(L"#32770");
        ASSERT_NE(dialog, nullptr) << "no open dialog";
        app.Type(folder + L"\\" + file);
        app.PressKey(VK_RETURN);
        for (int i = 0; i < 100 && IsWindow(dialog); ++i) Sleep(50);
        EXPECT_EQ(app.TextOf(editor), text) << file;
    }
    app.PressKeys({VK_CONTROL, 'Z'});  // each file was one step
    EXPECT_EQ(app.TextOf(editor), L"<p>Grüße €</p>");
    // Dropped on the pane, as from a file manager.
    app.DropFile(editor, folder + L"\\ansi.html");
    EXPECT_EQ(app.TextOf(editor), L"<p>Grüße</p>");
    app.PressKeys({VK_CONTROL, 'Z'});
    EXPECT_EQ(app.TextOf(editor), L"<p>Grüße €</p>");
}

TEST(MainWindow, CtrlFFindsWrappingRoundAndF3GoesOnInBothDirections) {
    Driver app(AppFolder(L"app"));
    const HWND editor = app.Control(L"CodeMax1");
    app.Click(editor);
    app.Type(L"eins zwei EINS");  // the caret at the end: the first find wraps round
    app.PressKeys({VK_CONTROL, 'F'});
    const HWND dialog = app.WaitForWindow(L"#32770");
    ASSERT_NE(dialog, nullptr) << "no find dialog";
    app.Type(L"eins");
    app.PressKey(VK_RETURN);
    EXPECT_EQ(SelectionOf(editor), std::make_pair(0, 4));
    app.PressKey(VK_RETURN);  // without "Groß-/Kleinschreibung" the capitals match too
    EXPECT_EQ(SelectionOf(editor), std::make_pair(10, 14));
    app.PressKey(VK_ESCAPE);  // the pane has the keyboard again
    for (int i = 0; i < 100 && IsWindow(dialog); ++i) Sleep(50);
    app.PressKey(VK_F3);
    EXPECT_EQ(SelectionOf(editor), std::make_pair(0, 4));
    app.PressKeys({VK_SHIFT, VK_F3});
    EXPECT_EQ(SelectionOf(editor), std::make_pair(10, 14));
}

// Ctrl+Umschalt+D and +L wherever the focus is in Form1, the pane included
// (its own Ctrl+Umschalt+L, deleting a line, gives way): the changes of the
// last run, and every call of the session.
TEST(MainWindow, ShortcutsOpenTheChangesOfTheLastRunAndTheCallLog) {
    Driver app(AppFolder(L"app"));
    const HWND pane = app.Control(L"CodeMax1");
    app.Click(pane);
    app.Type(L"Zeile eins");
    app.PressKey(VK_RETURN);
    app.Type(L"<b>zwei</b>");
    app.PressKey(VK_RETURN);
    app.Type(L"drei");
    app.ClickListEntry(app.Control(L"File1"), L"entities.dll");
    app.Click(app.Control(L"Command10"));
    const std::wstring changed = L"Zeile eins\r\n&lt;b&gt;zwei&lt;/b&gt;\r\ndrei";
    ASSERT_EQ(app.TextOf(pane), changed);

    app.Click(pane);
    app.PressKeys({VK_CONTROL, VK_SHIFT, 'D'});
    const HWND changes = app.WaitForWindow(L"DllscopeChanges");
    ASSERT_NE(changes, nullptr);
    const std::wstring header = app.TextOf(FindWindowExW(changes, nullptr, L"Static", nullptr));
    EXPECT_THAT(header, HasSubstr(L"Plugin \u201Eentities.dll\u201C, Lauf um "));
    EXPECT_THAT(header, HasSubstr(L": 0 Zeilen entfernt, 0 eingefügt, 1 geändert"));
    app.Screenshot(changes, Shot(L"changes"));

    app.CloseThroughFrame(changes);
    app.Click(pane);
    app.PressKeys({VK_CONTROL, VK_SHIFT, 'L'});
    const HWND log = app.WaitForWindow(L"DllscopeCallLog");
    ASSERT_NE(log, nullptr);
    // The selection's seven calls and the run's six.
    const HWND rows = FindWindowExW(log, nullptr, L"SysListView32", nullptr);
    EXPECT_EQ(SendMessageW(rows, LVM_GETITEMCOUNT, 0, 0), 13);
    // No wider than Form1, and every column whole within the list.
    RECT logFrame, mainFrame, list;
    GetWindowRect(log, &logFrame);
    GetWindowRect(app.Main(), &mainFrame);
    EXPECT_LE(logFrame.right - logFrame.left, mainFrame.right - mainFrame.left);
    GetClientRect(rows, &list);
    int columns = 0;
    for (int i = 0; i < 9; ++i) {
        const int width = static_cast<int>(SendMessageW(rows, LVM_GETCOLUMNWIDTH, i, 0));
        EXPECT_GE(width, 50) << "column " << i;
        columns += width;
    }
    EXPECT_LE(columns, list.right);
    EXPECT_EQ(app.TextOf(pane), changed);
    app.Screenshot(log, Shot(L"calllog"));
}

}  // namespace
}  // namespace dllscope::e2e
