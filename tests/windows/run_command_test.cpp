// "PluginRun" through the real Form1 and Form2 windows, the real bridge
// adapters and the recording bridge.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "main_window/win32/form1_window.h"
#include "common/win32/ansi.h"
#include "test_support.h"

namespace dllscope::testing {
namespace {

using ::testing::ElementsAre;

class RunInWindows : public Form1WindowTest {
  protected:
    void Select(const wchar_t* entry) {
        SelectInList(entry);
        ClearCallLog();
    }
    void Run() { Click(L"Command10"); }
    std::string PathOf(const wchar_t* plugin) { return ToAnsi(InTestFolder(plugin)); }
    static void WriteFile(const std::wstring& name, const std::string& bytes) {
        std::ofstream(name.c_str(), std::ios::binary) << bytes;
    }
};

TEST_F(RunInWindows, CodeOneSendsWorkTextAndPutsTheResultInItsPlace) {
    Select(L"code1.dll");
    window.Editor().SetWorkText(L"<b>Grüße</b>\r\nzwei");
    SendMessageW(window.Control(Form1Control::CodeMax1), EM_SETSEL, 3, 8);  // "Grüße"
    Run();
    EXPECT_THAT(ReadCallLog(),
                ElementsAre("attach code1.dll", "PluginBackvalue|" + PathOf(L"code1.dll"),
                            "PluginRun|Gr\xFC\xDF"
                            "e|" +
                                PathOf(L"code1.dll"),
                            "detach code1.dll"));
    EXPECT_EQ(window.Editor().Text(), L"<b>run:Grüße</b>\r\nzwei");
    EXPECT_EQ(window.Editor().WorkText(), L"run:Grüße");
}

TEST_F(RunInWindows, CodesZeroAndThreeLeaveTheEditorAndThreeSendsTheExchangeFile) {
    window.Editor().SetWorkText(L"bleibt");
    Select(L"code0.dll");
    Run();
    EXPECT_EQ(ReadCallLog().at(2), "PluginRun|bleibt|" + PathOf(L"code0.dll"));
    Select(L"code3.dll");
    Run();
    EXPECT_EQ(ReadCallLog().at(2),
              "PluginRun|" + ToAnsi(TestFolder()) + "\\dateiname.txt|" + PathOf(L"code3.dll"));
    EXPECT_EQ(window.Editor().Text(), L"bleibt");
}

TEST_F(RunInWindows, CodesWithoutMeaningOnlyLoadAndFree) {
    for (const wchar_t* odd : {L"code4.dll", L"code-1.dll"}) {
        Select(odd);
        Run();
        const std::wstring name(odd);
        const std::string ansiName(name.begin(), name.end());
        EXPECT_THAT(ReadCallLog(),
                    ElementsAre("attach " + ansiName, "PluginBackvalue|" + PathOf(odd),
                                "detach " + ansiName));
    }
}

TEST_F(RunInWindows, CodeTwoOpensTheViewerOnceAndAnewAfterItWasClosed) {
    const std::wstring first = InTestFolder(L"erste.html"), second = InTestFolder(L"zweite.html");
    WriteFile(first, "<h1>Erste</h1>");
    WriteFile(second, "<h1>Zweite</h1>");
    Select(L"code2.dll");
    window.Editor().SetWorkText(first);
    Run();
    Form2Window* viewer = program.ResultViewerWindow().Open();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(program.ResultFileName(), first);
    EXPECT_EQ(TextOf(viewer->Handle()), first);
    EXPECT_EQ(viewer->Editor().Text(), L"<h1>Erste</h1>");
    EXPECT_TRUE(IsWindowVisible(viewer->Handle()));
    EXPECT_EQ(GetWindow(viewer->Handle(), GW_OWNER), nullptr);

    // While it is open, a new result is not loaded.
    window.Editor().SetWorkText(second);
    Run();
    EXPECT_EQ(program.ResultFileName(), second);
    EXPECT_EQ(program.ResultViewerWindow().Open(), viewer);
    EXPECT_EQ(TextOf(viewer->Handle()), first);
    EXPECT_EQ(viewer->Editor().Text(), L"<h1>Erste</h1>");

    // Closed through its frame, it is loaded anew; Form1 stays.
    SendMessageW(viewer->Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program.ResultViewerWindow().Open(), nullptr);
    EXPECT_TRUE(IsWindow(window.Handle()));
    Run();
    viewer = program.ResultViewerWindow().Open();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(TextOf(viewer->Handle()), second);
    EXPECT_EQ(viewer->Editor().Text(), L"<h1>Zweite</h1>");
    SendMessageW(viewer->Handle(), WM_CLOSE, 0, 0);
    DeleteFileW(first.c_str());
    DeleteFileW(second.c_str());
}

TEST_F(RunInWindows, TheViewerHasItsLayoutAndSaysWhenTheFileCannotBeRead) {
    MessageBoxWatcher watcher;
    Select(L"code2.dll");
    window.Editor().SetWorkText(L"fehlt.html");  // relative, and missing
    Run();
    Form2Window* viewer = program.ResultViewerWindow().Open();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(TextOf(viewer->Handle()), L"fehlt.html");
    EXPECT_EQ(viewer->Editor().Text(), L"");
    RECT client, pane;
    GetClientRect(viewer->Handle(), &client);
    EXPECT_EQ(client.right, 668);
    EXPECT_EQ(client.bottom, 494);
    GetWindowRect(viewer->Editor().Handle(), &pane);
    MapWindowPoints(nullptr, viewer->Handle(), reinterpret_cast<POINT*>(&pane), 2);
    EXPECT_EQ(pane.left, 4);
    EXPECT_EQ(pane.top, 4);
    EXPECT_EQ(pane.right - pane.left, 661);
    EXPECT_EQ(pane.bottom - pane.top, 485);
    EXPECT_NE(GetClassLongPtrW(viewer->Handle(), GCLP_HICON), 0u);
    SendMessageW(viewer->Handle(), WM_CLOSE, 0, 0);
    const auto seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0].text.find(L"\u201Efehlt.html\u201C"), std::wstring::npos);
}

TEST_F(RunInWindows, ANullResultCountsAsEmpty) {
    Select(L"nullbstr.dll");  // code 0 from the recording bridge: nothing written
    window.Editor().SetWorkText(L"x");
    Run();
    EXPECT_EQ(window.Editor().Text(), L"x");
    std::wstring path = InTestFolder(L"nullbstr.dll");
    Bindings bindings;
    Win32Bridge bridge(bindings);
    EXPECT_EQ(bridge.PluginRun(L"x", path), L"");
}

// The system menu's item switches the next command into a host process of
// the plugin's own: a plugin that behaves sees the same calls, in the same
// order, and the window shows the same.
TEST_F(RunInWindows, InItsOwnProcessAPluginGetsTheSameCallsAndTheWindowShowsTheSame) {
    const auto session = [&] {
        window.Editor().SetWorkText(L"<b>Grüße</b>");
        SelectInList(L"writeback.dll");
        SelectInList(L"code1.dll");
        Run();
        Click(L"Command7");  // PluginName
        return std::make_pair(ReadCallLog(), window.Editor().Text() + L"|" +
                                                 TextOf(C(L"lblBackvalue")) + L"|" +
                                                 TextOf(C(L"lblName")));
    };
    MessageBoxWatcher watcher;
    const auto inProcess = session();
    const HMENU menu = GetSystemMenu(window.Handle(), FALSE);
    EXPECT_EQ(GetMenuState(menu, program.IsolationMenuItem(), MF_BYCOMMAND) & MF_CHECKED, 0u);
    SendMessageW(window.Handle(), WM_SYSCOMMAND, program.IsolationMenuItem(), 0);
    EXPECT_TRUE(program.Route().Isolated());
    EXPECT_EQ(GetMenuState(menu, program.IsolationMenuItem(), MF_BYCOMMAND) & MF_CHECKED,
              static_cast<UINT>(MF_CHECKED));
    ClearCallLog();
    const auto isolated = session();
    EXPECT_EQ(isolated, inProcess);
    EXPECT_GT(inProcess.first.size(), 10u);
    const auto boxes = watcher.Seen();
    ASSERT_EQ(boxes.size(), 2u);  // PluginName's answer, once in each way
    EXPECT_EQ(boxes[0].text, boxes[1].text);
    SendMessageW(window.Handle(), WM_SYSCOMMAND, program.IsolationMenuItem(), 0);
    EXPECT_FALSE(program.Route().Isolated());
}

TEST_F(RunInWindows, TheCallLogHoldsTheCallsOfASelectionAndARunInOrder) {
    const std::size_t before = program.Calls().Rows().size();
    window.Editor().SetWorkText(L"Grüße");
    SelectInList(L"code1.dll");
    Run();
    std::vector<std::wstring> seen;
    const auto& rows = program.Calls().Rows();
    for (std::size_t i = before; i < rows.size(); ++i)
        seen.push_back(rows[i].command + L" " + rows[i].library + L" " + rows[i].call +
                       (rows[i].fault.empty() && rows[i].process == 0 ? L"" : L" ?"));
    // Named as the author knows them: the list and the button's caption.
    const std::wstring select = L"Liste der DLLs ", run = L"PluginRun ";
    EXPECT_THAT(
        seen, ElementsAre(select + L"modbridge.dll LoadLibrary", select + L"code1.dll LoadLibrary",
                          select + L"code1.dll PluginBackvalue", select + L"code1.dll PluginName",
                          select + L"code1.dll PluginDescription",
                          select + L"code1.dll FreeLibrary", select + L"modbridge.dll FreeLibrary",
                          run + L"modbridge.dll LoadLibrary", run + L"code1.dll LoadLibrary",
                          run + L"code1.dll PluginBackvalue", run + L"code1.dll PluginRun",
                          run + L"code1.dll FreeLibrary", run + L"modbridge.dll FreeLibrary"));
    const CallRow& pluginRun = rows[rows.size() - 3];
    EXPECT_EQ(pluginRun.arguments, L"5 Zeichen: \u201EGrüße\u201C; " + InTestFolder(L"code1.dll"));
    EXPECT_EQ(pluginRun.result, L"9 Zeichen: \u201Erun:Grüße\u201C");
    EXPECT_EQ(rows[rows.size() - 4].result, L"1");
    EXPECT_EQ(rows[rows.size() - 6].result.rfind(L"Handle 0x", 0), 0u);
    // Ctrl+C's text: the fields of each row, tab-separated.
    const std::wstring copied = RowsAsText(rows, {rows.size() - 3});
    EXPECT_EQ(
        copied.rfind(pluginRun.time + L"\tPluginRun\tcode1.dll\tPluginRun\t5 Zeichen", 0),
        0u);
    EXPECT_EQ(copied.substr(copied.size() - 2), L"\r\n");
}

}  // namespace
}  // namespace dllscope::testing
