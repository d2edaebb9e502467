// Plugins that crash, end the program or do not return, run with the mouse as
// a person runs them: Dllscope reports, keeps the text and goes on, or
// offers the text again at the next start.
#include <fstream>
#include <iterator>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/utf8.h"
#include "driver.h"

namespace dllscope::e2e {
namespace {

using ::testing::HasSubstr;

std::wstring FaultyFolder() { return E2eFolder() + L"\\faulty"; }

void RunPlugin(Driver& app, const wchar_t* plugin) {
    app.ClickListEntry(app.Control(L"File1"), plugin);
    app.Click(app.Control(L"Command10"));
}

LRESULT Selection(Driver& app) { return SendMessageW(app.Control(L"CodeMax1"), EM_GETSEL, 0, 0); }

TEST(Faults, ACrashingPluginIsReportedTheTextStaysAndTheNextPluginRuns) {
    Driver app(FaultyFolder());
    app.Click(app.Control(L"CodeMax1"));
    app.Type(L"<b>Grüße</b>");
    const LRESULT selection = Selection(app);
    struct Case {
        const wchar_t* plugin;
        const wchar_t* said;
    };
    // The place of a fault is named by the nearest export below it; a result
    // that is no BSTR (unmapped, or a malloc'd char*) is refused unread.
    for (const Case c : {Case{L"nullwrite.dll",
                              L"Zugriffsverletzung (0xC0000005) beim Schreiben an Adresse 0x0 "
                              L"in nullwrite.dll!TsRun+0x"},
                         Case{L"stack.dll", L"Stapelüberlauf (0xC00000FD) in stack.dll"},
                         Case{L"garbage.dll",
                              L"hat aus PluginRun ein ungültiges Ergebnis zurückgegeben: der "
                              L"Zeiger 0xDEAD0000 ist kein BSTR aus SysAllocStringByteLen"},
                         Case{L"mallocresult.dll",
                              L"hat aus PluginRun ein ungültiges Ergebnis zurückgegeben: der "
                              L"Zeiger 0x"}}) {
        RunPlugin(app, c.plugin);
        const MessageBoxSeen box = app.WaitForMessageBox();
        EXPECT_EQ(box.title, L"Dllscope");
        EXPECT_EQ(box.icon, Icon::Error);
        EXPECT_THAT(box.text, HasSubstr(L"Das Plugin \u201E" + std::wstring(c.plugin) + L"\u201C"));
        EXPECT_THAT(box.text, HasSubstr(c.said));
        app.PressOk(box);
        EXPECT_EQ(app.TextOf(app.Control(L"CodeMax1")), L"<b>Grüße</b>") << c.plugin;
        EXPECT_EQ(Selection(app), selection) << c.plugin;
    }
    RunPlugin(app, L"entities.dll");
    EXPECT_EQ(app.TextOf(app.Control(L"CodeMax1")), L"&lt;b&gt;Gr&uuml;&szlig;e&lt;/b&gt;");
}

// A plugin built with debug information: the box names the line of the
// fault and the two calls below it, in Dllscope's own process and in the
// plugin's host alike; the whole stack is for the reports.
TEST(Faults, TheBoxNamesTheSourceLinesOfAFaultInBothModes) {
    for (const wchar_t* mode : {L"", L"--isolated"}) {
        Driver app(FaultyFolder(), L"", mode);
        app.Click(app.Control(L"CodeMax1"));
        app.Type(L"a<fault>b");
        RunPlugin(app, L"lines.dll");
        const MessageBoxSeen box = app.WaitForMessageBox();
        EXPECT_THAT(box.text, HasSubstr(L"beim Schreiben an Adresse 0x0 in lines_plugin.c:"));
        EXPECT_THAT(box.text, HasSubstr(L" (HandleTag), aufgerufen aus lines_plugin.c:")) << mode;
        EXPECT_THAT(box.text, HasSubstr(L" (ParseDocument), lines_plugin.c:")) << mode;
        EXPECT_THAT(box.text, HasSubstr(L" (TsRun).")) << mode;
        app.PressOk(box);
        EXPECT_EQ(app.TextOf(app.Control(L"CodeMax1")), L"a<fault>b") << mode;
    }
}

// An export without WINAPI: on 32 bits the bridge restores the stack and
// Dllscope warns once the run has ended; its result is kept either way.
TEST(Faults, AnExportWithoutWinapiIsWarnedAboutOn32BitsAndItsResultKept) {
    Driver app(FaultyFolder());
    app.Click(app.Control(L"CodeMax1"));
    app.Type(L"<p>");
    RunPlugin(app, L"cdecl.dll");
    if (sizeof(void*) == 4) {
        const MessageBoxSeen box = app.WaitForMessageBox();
        EXPECT_THAT(box.text,
                    HasSubstr(L"Das Plugin \u201Ecdecl.dll\u201C exportiert TsRun als "
                              L"__cdecl; Tagsmith ruft __stdcall auf (WINAPI vergessen?)."));
        app.PressOk(box);
    } else {
        EXPECT_TRUE(app.NoMessageBoxWithin(1000));  // one convention on 64 bits
    }
    EXPECT_EQ(app.TextOf(app.Control(L"CodeMax1")), L"<p>");
}

TEST(Faults, TheTextOfAProgramThatAPluginEndedIsOfferedAtTheNextStart) {
    const std::wstring appData = FreshFolder(L"localappdata");
    const std::wstring text = L"Zeile eins <p>\r\nZeile zwei äöü €";
    {
        Driver app(FaultyFolder(), appData);
        app.Click(app.Control(L"CodeMax1"));
        app.Type(L"Zeile eins <p>");
        app.PressKey(VK_RETURN);
        app.Type(L"Zeile zwei äöü €");
        ASSERT_EQ(app.TextOf(app.Control(L"CodeMax1")), text);
        RunPlugin(app, L"exit.dll");
        ASSERT_TRUE(app.WaitForExit(kWait));
    }
    Driver again(FaultyFolder(), appData);
    const MessageBoxSeen offer = again.WaitForMessageBox();
    EXPECT_THAT(offer.text, HasSubstr(L"nicht normal beendet"));
    EXPECT_THAT(offer.text, HasSubstr(L"Der letzte Aufruf: Das Plugin \u201Eexit.dll\u201C, "
                                      L"PluginRun.\nEin Plugin, das Dllscope beendet"));
    EXPECT_THAT(offer.text, HasSubstr(L"Dllscope.exe --isolated"));
    again.Press(offer, IDYES);
    EXPECT_EQ(again.TextOf(again.Control(L"CodeMax1")), text);
}

TEST(Faults, APluginThatDoesNotReturnIsReportedWaitingOnAsksAgainAndEndingKeepsTheText) {
    const std::wstring appData = FreshFolder(L"localappdata");
    Driver app(FaultyFolder(), appData);
    app.Click(app.Control(L"CodeMax1"));
    app.Type(L"Noch da");
    RunPlugin(app, L"loop.dll");
    const MessageBoxSeen box = app.WaitForMessageBox();
    ASSERT_NE(box.hwnd, nullptr) << "no word";
    EXPECT_THAT(box.text, HasSubstr(L"Das Plugin \u201Eloop.dll\u201C antwortet nicht"));
    EXPECT_THAT(box.text, HasSubstr(L" Sekunden und hängt in faulty_plugin.cpp:"));
    EXPECT_THAT(box.text, HasSubstr(L" (TsRun).\n"));
    EXPECT_THAT(box.text, HasSubstr(appData + L"\\Dllscope\\"));
    app.Press(box, IDNO);  // waits on: asked again after another while
    EXPECT_FALSE(app.WaitForExit(2000));
    const MessageBoxSeen again = app.WaitForMessageBox();
    ASSERT_NE(again.hwnd, nullptr) << "not asked again";
    EXPECT_THAT(again.text, HasSubstr(L"antwortet nicht"));
    app.Press(again, IDYES);
    ASSERT_TRUE(app.WaitForExit(kWait));

    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW((appData + L"\\Dllscope\\*.txt").c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE) << "the copy of the text is gone";
    FindClose(find);
    std::ifstream copy((appData + L"\\Dllscope\\" + found.cFileName).c_str(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(copy)),
                            std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, "\xEF\xBB\xBFNoch da");
}

// With --isolated the plugin runs in a process of its own: its end and its
// hang cost that process, and Dllscope goes on with its text.
TEST(Isolated, APluginEndingOrHangingItsProcessIsReportedAndDllscopeGoesOnWithTheText) {
    Driver app(FaultyFolder(), L"", L"--isolated");
    app.Click(app.Control(L"CodeMax1"));
    app.Type(L"<b>Grüße</b>");
    const LRESULT selection = Selection(app);
    RunPlugin(app, L"exit.dll");
    const MessageBoxSeen ended = app.WaitForMessageBox();
    ASSERT_NE(ended.hwnd, nullptr) << "no word";
    EXPECT_THAT(ended.text, HasSubstr(L"Das Plugin \u201Eexit.dll\u201C hat beim Aufruf von "
                                      L"PluginRun den Prozess beendet (Exit-Code 7)."));
    app.PressOk(ended);
    EXPECT_EQ(app.TextOf(app.Control(L"CodeMax1")), L"<b>Grüße</b>");
    EXPECT_EQ(Selection(app), selection);

    RunPlugin(app, L"entities.dll");  // in a new host
    // The click waits in the queue while the selection starts that host.
    const std::wstring changed = L"&lt;b&gt;Gr&uuml;&szlig;e&lt;/b&gt;";
    for (DWORD waited = 0; waited < kWait && app.TextOf(app.Control(L"CodeMax1")) != changed;
         waited += 50)
        Sleep(50);
    EXPECT_EQ(app.TextOf(app.Control(L"CodeMax1")), changed);

    RunPlugin(app, L"loop.dll");
    // While it waits for the plugin, the window takes no input but repaints;
    // paints that keep coming do not keep the question away.
    Sleep(1000);
    InvalidateRect(app.Main(), nullptr, TRUE);
    Sleep(1000);
    EXPECT_FALSE(GetUpdateRect(app.Main(), nullptr, FALSE)) << "not repainted";
    MessageBoxSeen hung;
    for (DWORD waited = 0; !hung.hwnd && waited < 2 * kWait; waited += 20) {
        InvalidateRect(app.Main(), nullptr, TRUE);
        hung = app.WaitForMessageBox(20);
    }
    ASSERT_NE(hung.hwnd, nullptr) << "not asked";
    EXPECT_THAT(hung.text, HasSubstr(L"Das Plugin \u201Eloop.dll\u201C antwortet nicht"));
    EXPECT_THAT(hung.text, HasSubstr(L"in seinem eigenen Prozess und hängt in faulty_plugin.cpp:"));
    app.Press(hung, IDYES);  // ends the plugin's process, not Dllscope
    const MessageBoxSeen ended2 = app.WaitForMessageBox();
    EXPECT_THAT(ended2.text, HasSubstr(L") und hängt in faulty_plugin.cpp:"));
    EXPECT_THAT(ended2.text, HasSubstr(L" (TsRun); sein Prozess wurde beendet"));
    app.PressOk(ended2);
    EXPECT_FALSE(app.WaitForExit(500));
    EXPECT_EQ(app.TextOf(app.Control(L"CodeMax1")), changed);
}

// The text is saved before each call in the plugin's process too: a
// Dllscope ended while it waits for its host offers it at the next start.
TEST(Isolated, TheTextOfADllscopeEndedWhileItWaitsIsOfferedAtTheNextStart) {
    const std::wstring appData = FreshFolder(L"localappdata");
    {
        Driver app(FaultyFolder(), appData, L"--isolated");
        app.Click(app.Control(L"CodeMax1"));
        app.Type(L"Warte auf äöü");
        RunPlugin(app, L"loop.dll");
        Sleep(1500);
        ASSERT_EQ(CopiesIn(appData), 1);
    }  // ended as a user ends it: TerminateProcess
    Driver again(FaultyFolder(), appData);
    const MessageBoxSeen offer = again.WaitForMessageBox();
    EXPECT_THAT(offer.text, HasSubstr(L"Der letzte Aufruf: Das Plugin \u201Eloop.dll\u201C, "
                                      L"PluginRun."));
    again.Press(offer, IDYES);
    EXPECT_EQ(again.TextOf(again.Control(L"CodeMax1")), L"Warte auf äöü");
}

// The examination's fuzzing seconds (60 at first) and seed, typed in.
void SetSecondsAndSeed(Driver& app, HWND seconds, const wchar_t* howLong, HWND seed,
                       const wchar_t* start) {
    app.Click(seconds);
    app.PressKey(VK_END);
    app.PressKey(VK_BACK);
    app.PressKey(VK_BACK);
    app.Type(howLong);
    app.Click(seed);
    app.Type(start);
}

// "Plugin untersuchen…" (Strg+Umschalt+U) on a plugin with a fault no
// ordinary page meets: the fuzzing finds it and shrinks its page, the profile
// follows, one click puts the page into the pane as one step of undo; and
// Abbrechen stops an examination where it stands.
TEST(Examine, TheFuzzingFindsAFaultWhosePageGoesIntoThePaneAndAbbrechenStops) {
    Driver app(FaultyFolder());
    const HWND pane = app.Control(L"CodeMax1");
    app.Click(pane);
    app.Type(L"vorher");
    app.ClickListEntry(app.Control(L"File1"), L"reference.dll");
    app.PressKeys({VK_CONTROL, VK_SHIFT, 'U'});
    const HWND w = app.WaitForWindow(L"DllscopeExamine");
    ASSERT_NE(w, nullptr);
    const HWND seconds = FindWindowExW(w, nullptr, L"Edit", nullptr);
    const HWND seed = FindWindowExW(w, seconds, L"Edit", nullptr);
    const HWND status = GetDlgItem(w, 105),
               findings = FindWindowExW(w, nullptr, L"ListBox", nullptr);
    const auto button = [w](const wchar_t* text) {
        return FindWindowExW(w, nullptr, L"Button", text);
    };
    const auto waitFor = [&](const wchar_t* start, DWORD ms) {
        for (DWORD waited = 0; waited < ms; waited += 100, Sleep(100))
            if (app.TextOf(status).rfind(start, 0) == 0) return true;
        return false;
    };
    EXPECT_EQ(app.TextOf(seconds), L"60");
    SetSecondsAndSeed(app, seconds, L"2", seed, L"7");
    app.Click(button(L"Starten"));
    EXPECT_FALSE(IsWindowEnabled(app.Main()));  // Form1 waits meanwhile
    ASSERT_TRUE(waitFor(L"Fertig", 120000)) << app.TextOf(status);
    EXPECT_THAT(app.TextOf(status), HasSubstr(L"Startwert 7, 1 Fund."));
    EXPECT_TRUE(IsWindowEnabled(app.Main()));
    const std::vector<std::wstring> found = app.ListEntries(findings);
    std::string listed;
    for (const std::wstring& f : found) listed += ToUtf8(f) + "\n";
    ASSERT_EQ(found.size(), 1u) << listed;
    EXPECT_THAT(found[0], HasSubstr(L"Zugriffsverletzung in reference.dll!TsRun+0x"));
    EXPECT_THAT(app.TextOf(GetDlgItem(w, 109)), HasSubstr(L"Profil: wächst"));

    app.Click(button(L"In den Editor"));
    const std::wstring page = app.TextOf(pane);
    EXPECT_EQ(page.rfind(L"&#x", 0), 0u) << page;
    app.Click(pane);
    app.PressKeys({VK_CONTROL, 'Z'});
    EXPECT_EQ(app.TextOf(pane), L"vorher");

    // A minute of fuzzing, stopped after its start; the window comes back
    // to the front for the next examination.
    app.PressKeys({VK_CONTROL, VK_SHIFT, 'U'});
    EXPECT_EQ(app.WaitForWindow(L"DllscopeExamine"), w);
    app.Click(seconds);
    app.PressKey(VK_END);
    app.PressKey(VK_BACK);
    app.Type(L"60");
    app.Click(button(L"Starten"));
    ASSERT_TRUE(waitFor(L"Fuzzing: ", kWait)) << app.TextOf(status);
    app.Click(button(L"Abbrechen"));
    ASSERT_TRUE(waitFor(L"Abgebrochen: ", 15000)) << app.TextOf(status);
    EXPECT_TRUE(IsWindowEnabled(app.Main()));
    app.CloseThroughFrame(w);
}

// From the author's cases and led by the lines: the examination of a plugin
// that reads a word a character at a time (and faults on "<?tagsmith!")
// finds the page no case holds, and says how many of its lines it reached.
TEST(Examine, FromTheCasesFolderLedByTheLinesItFindsAWordNoCaseHolds) {
    const std::wstring cases = FaultyFolder() + L"\\anweisung";
    CreateDirectoryW(cases.c_str(), nullptr);
    std::ofstream(ToUtf8(cases) + "\\seite.html", std::ios::binary)
        << "<p>Hallo <b>Welt</b></p>\r\n<?xml version=\"1.0\"?>\r\n";
    Driver app(FaultyFolder());
    app.ClickListEntry(app.Control(L"File1"), L"instruction.dll");
    app.PressKeys({VK_CONTROL, VK_SHIFT, 'U'});
    const HWND w = app.WaitForWindow(L"DllscopeExamine");
    ASSERT_NE(w, nullptr);
    const HWND seconds = GetDlgItem(w, 100), seed = GetDlgItem(w, 101), status = GetDlgItem(w, 105),
               findings = GetDlgItem(w, 106), casesField = GetDlgItem(w, 110);
    EXPECT_EQ(SendMessageW(GetDlgItem(w, 111), BM_GETCHECK, 0, 0), BST_CHECKED);  // on at first
    SetSecondsAndSeed(app, seconds, L"20", seed, L"5");
    app.Click(casesField);
    app.Type(cases);
    app.Click(FindWindowExW(w, nullptr, L"Button", L"Starten"));
    std::wstring said;
    for (DWORD waited = 0; waited < 180000; waited += 200, Sleep(200))
        if ((said = app.TextOf(status)).rfind(L"Fertig", 0) == 0) break;
    EXPECT_THAT(said, HasSubstr(L"Startwert 5, 1 Fund."));
    EXPECT_THAT(said, HasSubstr(L"% der Zeilen erreicht ("));
    const std::vector<std::wstring> found = app.ListEntries(findings);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_THAT(found[0], HasSubstr(L"Zugriffsverletzung in faulty_plugin.cpp:"));
    app.CloseThroughFrame(w);
}

}  // namespace
}  // namespace dllscope::e2e
