#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes.h"
#include "main_window/form1.h"

namespace dllscope::testing {
namespace {

using ::testing::ElementsAre;

class DemoCommands : public ::testing::Test, protected Form1Harness {
protected:
    DemoCommands() : Form1Harness(L"C:\\Dllscope") {}
    const std::wstring bridgePath = L"C:\\Dllscope\\modbridge.dll";

    // `units` UTF-16 code units of text with umlauts and characters outside the
    // BMP (each a surrogate pair: two units, as the 1200 limit counts them).
    static std::wstring TextOfUnits(std::size_t units) {
        const std::wstring piece = {L'ä', L'ö', static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
        std::wstring text;
        while (text.size() + piece.size() <= units) text += piece;
        while (text.size() < units) text += L'ü';
        return text;
    }
};

TEST_F(DemoCommands, NoneNeedsASelectionAndThreeDoNothing) {
    form.Command3_Click();
    form.Command6_Click();
    form.Command3_Click();
    EXPECT_TRUE(journal.empty());
    form.Command8_Click();
    EXPECT_THAT(journal, ElementsAre(L"editor object"));
}

TEST_F(DemoCommands, Command1ShowsThePathThenZeroAndLoadsNothing) {
    form.Command1_Click();
    EXPECT_THAT(journal, ElementsAre(L"message C:\\Dllscope\\demotext_1.dll", L"message 0"));
}

TEST_F(DemoCommands, TheTextDemoRunsABridgeCycleOnDemotextWithoutALimit) {
    editor.text = TextOfUnits(5000);
    world.bridge.runResult = L"<b>neu</b>";
    form.Command4_Click();
    const std::wstring demo = L"C:\\Dllscope\\demotext.dll";
    EXPECT_THAT(journal, ElementsAre(L"load " + bridgePath, L"load " + demo, L"editor WorkText",
                                     L"PluginWrappText " + TextOfUnits(5000) + L" | " + demo,
                                     L"editor SetWorkText <b>neu</b>", L"free " + demo,
                                     L"free " + bridgePath));
}

TEST_F(DemoCommands, AMissingDemoPluginStillReachesTheBridgeWithItsPath) {
    world.libraries.failing[L"C:\\Dllscope\\demopane.dll"] = true;
    editor.text = L"";
    world.bridge.runResult = L"";
    form.Command5_Click();
    EXPECT_THAT(journal, ElementsAre(L"load " + bridgePath, L"load C:\\Dllscope\\demopane.dll",
                                     L"editor WorkText",
                                     L"PluginWrappForm  | C:\\Dllscope\\demopane.dll",
                                     L"editor SetWorkText ", L"free 0", L"free " + bridgePath));
}

TEST_F(DemoCommands, TheFormDemoTakes1200CodeUnitsAndRefuses1201) {
    world.bridge.runResult = L"ok";
    editor.text = TextOfUnits(1200);
    form.Command5_Click();
    EXPECT_EQ(editor.text, L"ok");

    journal.clear();
    editor.text = TextOfUnits(1201);
    form.Command5_Click();
    const std::wstring demo = L"C:\\Dllscope\\demopane.dll";
    EXPECT_THAT(journal, ElementsAre(L"load " + bridgePath, L"load " + demo, L"editor WorkText",
                                     L"message Die Anzahl der Zeichen ist zu groß!",
                                     L"free " + demo, L"free " + bridgePath));
    EXPECT_EQ(editor.text, TextOfUnits(1201));
}

TEST_F(DemoCommands, TheAutomationDemoReadsTextAndWritesWorkText) {
    editor.text = L"ganzer Text";
    editor.selection = L"Auswahl";
    world.automation.result = L"<p>ganzer Text</p>";
    form.Command11_Click();
    EXPECT_THAT(journal, ElementsAre(L"editor Text", L"automation ganzer Text",
                                     L"editor SetWorkText <p>ganzer Text</p>"));
    EXPECT_EQ(editor.selection, L"<p>ganzer Text</p>");
    EXPECT_EQ(editor.text, L"ganzer Text");
}

TEST_F(DemoCommands, AFailingAutomationCallWritesNothing) {
    editor.text = L"bleibt";
    world.automation.failing = true;
    EXPECT_THROW(form.Command11_Click(), RuntimeError);
    EXPECT_EQ(editor.text, L"bleibt");
}

TEST_F(DemoCommands, PlugrunShowsItsResultBetweenLoadAndFree) {
    editor.text = L"Text";
    world.demoExports.plugrunResult = L"";
    form.Command12_Click();
    EXPECT_THAT(journal, ElementsAre(L"load C:\\Dllscope\\comdemo.dll", L"editor Text",
                                     L"plugrun Text", L"message ", L"free C:\\Dllscope\\comdemo.dll"));
}

TEST_F(DemoCommands, PbpluginIsIndexedByTheTextAndLexdemoLoadedByItsBareName) {
    editor.text = L"table";
    form.Command13_Click();
    EXPECT_THAT(journal, ElementsAre(L"load lexdemo.dll", L"editor Text", L"pbplugin [table]",
                                     L"free lexdemo.dll"));
}

TEST_F(DemoCommands, AFailingExportLeavesItsLibraryLoaded) {
    world.demoExports.failing = true;
    EXPECT_THROW(form.Command13_Click(), RuntimeError);
    EXPECT_THROW(form.Command12_Click(), RuntimeError);
    EXPECT_THAT(journal, ElementsAre(L"load lexdemo.dll", L"editor Text",
                                     L"load C:\\Dllscope\\comdemo.dll", L"editor Text"));
}

}  // namespace
}  // namespace dllscope::testing
