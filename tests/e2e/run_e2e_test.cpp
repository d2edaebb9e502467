// "PluginRun" with the sample plugins, and the result viewer beside Form1.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "driver.h"

namespace dllscope::e2e {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;

std::wstring AppFolder() { return E2eFolder() + L"\\app"; }
std::wstring Shot(const wchar_t* name) { return E2eFolder() + L"\\screenshots\\" + name + L".bmp"; }

// The viewer's pane: its one child.
HWND PaneOf(HWND viewer) { return GetWindow(viewer, GW_CHILD); }

// Moves the viewer off Form1's buttons, as a person would drag it.
void DragAside(HWND viewer) {
    SetWindowPos(viewer, nullptr, 600, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TypeIntoEditor(Driver& app, const std::wstring& text) {
    app.Click(app.Control(L"CodeMax1"));
    app.Type(text);
}

TEST(Run, ATextPluginReplacesTheEditorText) {
    Driver app(AppFolder());
    TypeIntoEditor(app, L"<b>Grüße</b>");
    app.ClickListEntry(app.Control(L"File1"), L"entities.dll");
    app.Click(app.Control(L"Command10"));
    EXPECT_EQ(app.TextOf(app.Control(L"CodeMax1")), L"&lt;b&gt;Gr&uuml;&szlig;e&lt;/b&gt;");
}

TEST(Run, ACheckReportsInItsOwnBoxAndLeavesTheText) {
    Driver app(AppFolder());
    TypeIntoEditor(app, L"<div><p>offen</div>");
    app.ClickListEntry(app.Control(L"File1"), L"htmlcheck.dll");
    app.Click(app.Control(L"Command10"));
    const MessageBoxSeen box = app.WaitForMessageBox();
    EXPECT_EQ(box.title, L"HTML-Prüfung");
    EXPECT_THAT(box.text, HasSubstr(L"Verschachtelung stimmt"));
    app.PressOk(box);
    EXPECT_EQ(app.TextOf(app.Control(L"CodeMax1")), L"<div><p>offen</div>");
}

TEST(Run, AFileNameFromThePluginOpensTheViewerBesideTheMainWindow) {
    Driver app(AppFolder());
    TypeIntoEditor(app, L"<h1>Titel</h1><h2>Teil <i>eins</i></h2>");
    app.ClickListEntry(app.Control(L"File1"), L"outline.dll");
    app.Click(app.Control(L"Command10"));
    const HWND viewer = app.WaitForWindow(L"DllscopeForm2");
    ASSERT_NE(viewer, nullptr);
    const std::wstring firstName = app.TextOf(viewer);
    EXPECT_THAT(firstName, EndsWith(L"\\dllscope-gliederung.txt"));
    EXPECT_EQ(app.TextOf(PaneOf(viewer)), L"Titel\r\n  Teil eins\r\n");
    app.Screenshot(viewer, Shot(L"form2-outline"));
    DragAside(viewer);

    // The main window goes on working; the open viewer is not loaded again.
    app.Click(app.Control(L"Command9"));
    app.Type(L"<h1>Neu</h1>");
    app.Click(app.Control(L"Command10"));
    EXPECT_EQ(app.TextOf(PaneOf(viewer)), L"Titel\r\n  Teil eins\r\n");

    // Closed and run again, it opens anew with the new file.
    app.CloseThroughFrame(viewer);
    EXPECT_FALSE(IsWindow(viewer));
    app.Click(app.Control(L"Command10"));
    const HWND again = app.WaitForWindow(L"DllscopeForm2");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(app.TextOf(again), firstName);
    EXPECT_EQ(app.TextOf(PaneOf(again)), L"Neu\r\n");
    DragAside(again);

    // Beenden ends both windows at once.
    app.Click(app.Control(L"Command17"));
    EXPECT_TRUE(app.WaitForExit(kWait));
}

TEST(Run, ClosingTheMainWindowKeepsTheProgramUntilTheViewerIsClosedToo) {
    Driver app(AppFolder());
    app.ClickListEntry(app.Control(L"File1"), L"outline.dll");
    app.Click(app.Control(L"Command10"));
    const HWND viewer = app.WaitForWindow(L"DllscopeForm2");
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(app.TextOf(PaneOf(viewer)), L"(keine Überschriften gefunden)\r\n");
    app.CloseThroughFrame(app.Main());
    EXPECT_FALSE(app.WaitForExit(500));
    app.CloseThroughFrame(viewer);
    EXPECT_TRUE(app.WaitForExit(kWait));
}

TEST(Run, NoWindowTakesInputWhileTheViewerSaysItsFileIsMissing) {
    Driver app(E2eFolder() + L"\\faulty");
    app.ClickListEntry(app.Control(L"File1"), L"nofile.dll");
    app.Click(app.Control(L"Command10"));
    const MessageBoxSeen box = app.WaitForMessageBox();
    EXPECT_THAT(box.text, HasSubstr(L"C:\\gibt-es-nicht\\ergebnis.txt"));
    EXPECT_FALSE(IsWindowEnabled(app.Main()));
    app.Click(app.Control(L"Command15"));  // "PluginBackvalue" would answer in a box of its own
    app.PressOk(box);
    EXPECT_TRUE(app.NoMessageBoxWithin(1500)) << "Form1 took the click while the box was open";
    EXPECT_TRUE(IsWindowEnabled(app.Main()));
}

// A folder and a plugin whose names the ANSI code page cannot carry: the
// short (8.3) forms reach the bridge, and the plugin answers and runs.
TEST(Run, APluginOutsideTheAnsiCodePageAnswersAndRuns) {
    const std::wstring folder = E2eFolder() + L"\\\u03A9mega";
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const wchar_t* file : {L"Dllscope.exe", L"modbridge.dll"}) {
        ASSERT_TRUE(CopyFileW((AppFolder() + L"\\" + file).c_str(), (folder + L"\\" + file).c_str(),
                              FALSE));
    }
    ASSERT_TRUE(CopyFileW((AppFolder() + L"\\entities.dll").c_str(),
                          (folder + L"\\\u0141ukasz.dll").c_str(), FALSE));
    Driver app(folder);
    app.ClickListEntry(app.Control(L"File1"), L"\u0141ukasz.dll");
    EXPECT_EQ(app.TextOf(app.Control(L"lblName")), L"HTML-Entities");
    EXPECT_EQ(app.TextOf(app.Control(L"lblBackvalue")), L"Text zum/vom Plugin");
    TypeIntoEditor(app, L"<\u00e4>");
    app.Click(app.Control(L"Command10"));
    EXPECT_EQ(app.TextOf(app.Control(L"CodeMax1")), L"&lt;&auml;&gt;");
}

// The pane answers the edit control's text messages in UTF-16, sent from
// this other process, and shows HTML in colour.
TEST(Editor, AnswersEditMessagesInUtf16FromAnotherProcessAndHighlightsHtml) {
    Driver app(AppFolder());
    const HWND editor = app.Control(L"CodeMax1");
    const std::wstring page = L"<p class=\"x\">Grüße €</p>\r\n<!-- Kommentar -->";
    SendMessageW(editor, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(page.c_str()));
    EXPECT_EQ(app.TextOf(editor), page);
    EXPECT_EQ(SendMessageW(editor, WM_GETTEXTLENGTH, 0, 0), static_cast<LRESULT>(page.size()));
    SendMessageW(editor, EM_SETSEL, 13, 18);  // "Grüße"
    EXPECT_EQ(SendMessageW(editor, EM_GETSEL, 0, 0), MAKELRESULT(13, 18));
    SendMessageW(editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"Hallo \u263A"));
    EXPECT_EQ(app.TextOf(editor), L"<p class=\"x\">Hallo \u263A €</p>\r\n<!-- Kommentar -->");
    Sleep(300);
    app.Screenshot(app.Main(), Shot(L"form1-html"));
    EXPECT_GT(app.PixelsNear(editor, RGB(0, 0, 160)), 20) << "the tags are drawn in their colour";
    EXPECT_GT(app.PixelsNear(editor, RGB(0, 128, 0)), 20) << "the comment is drawn in its colour";
}

}  // namespace
}  // namespace dllscope::e2e
