#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes.h"
#include "main_window/form1.h"

namespace dllscope::testing {
namespace {

using ::testing::ElementsAre;

class RunCommand : public ::testing::Test, protected Form1Harness {
protected:
    RunCommand() : Form1Harness(L"C:\\Dllscope") {}
    const std::wstring bridgePath = L"C:\\Dllscope\\modbridge.dll";
    const std::wstring path = L"C:\\Dllscope\\p.dll";

    void SetUp() override {
        world.view.selected = L"p.dll";
        form.File1_Click();
        world.view.captions[Form1Label::Dateiname] = L"C:\\Dllscope\\dateiname.txt";
        editor.text = L"<p>Text</p>";
        bridge.runResult = L"Ergebnis";
        journal.clear();
    }
    void Run(std::int16_t code) {
        bridge.backvalue = code;
        journal.clear();
        form.Command10_Click();
    }
};

TEST_F(RunCommand, NoSelectionOnlySaysSo) {
    world.view.selected = L"";
    form.File1_Click();
    journal.clear();
    form.Command10_Click();
    EXPECT_THAT(journal, ElementsAre(L"message Keine DLL ausgewählt!"));
}

TEST_F(RunCommand, CodeZeroGivesTheTextAndDropsTheResult) {
    Run(0);
    EXPECT_THAT(journal, ElementsAre(L"load " + bridgePath, L"load " + path, L"PluginBackvalue " + path,
                                     L"editor WorkText", L"PluginRun <p>Text</p> | " + path,
                                     L"free " + path, L"free " + bridgePath));
    EXPECT_EQ(editor.text, L"<p>Text</p>");
}

TEST_F(RunCommand, CodeOneReplacesWorkTextWithTheResult) {
    editor.selection = L"Text";
    Run(1);
    EXPECT_THAT(journal, ElementsAre(L"load " + bridgePath, L"load " + path, L"PluginBackvalue " + path,
                                     L"editor WorkText", L"PluginRun Text | " + path,
                                     L"editor SetWorkText Ergebnis", L"free " + path,
                                     L"free " + bridgePath));
    EXPECT_EQ(editor.selection, L"Ergebnis");
    EXPECT_EQ(editor.text, L"<p>Text</p>");  // never read through Text
}

TEST_F(RunCommand, CodeOneWithAnEmptyResultEmptiesWorkText) {
    bridge.runResult = L"";
    Run(1);
    EXPECT_EQ(editor.text, L"");
}

TEST_F(RunCommand, CodeTwoStoresTheFileNameAndShowsTheViewerBeforeTheFrees) {
    bridge.runResult = L"relativ\\outline.txt";
    Run(2);
    EXPECT_THAT(journal, ElementsAre(L"load " + bridgePath, L"load " + path, L"PluginBackvalue " + path,
                                     L"editor WorkText", L"PluginRun <p>Text</p> | " + path,
                                     L"viewer show relativ\\outline.txt", L"free " + path,
                                     L"free " + bridgePath));
    EXPECT_EQ(world.resultFileName, L"relativ\\outline.txt");
    bridge.runResult = L"";
    Run(2);  // unchanged and untested, even empty
    EXPECT_EQ(journal.at(5), L"viewer show ");
}

TEST_F(RunCommand, CodeThreeGivesTheExchangeFileFromTheLabelAndLeavesTheEditorAlone) {
    world.view.captions[Form1Label::Dateiname] = L"D:\\anders\\dateiname.txt";
    Run(3);
    EXPECT_THAT(journal, ElementsAre(L"load " + bridgePath, L"load " + path, L"PluginBackvalue " + path,
                                     L"PluginRun D:\\anders\\dateiname.txt | " + path,
                                     L"free " + path, L"free " + bridgePath));
}

TEST_F(RunCommand, CodesWithoutMeaningRunNothingButStillFree) {
    for (std::int16_t code : {4, -1, 32767}) {
        Run(code);
        EXPECT_THAT(journal, ElementsAre(L"load " + bridgePath, L"load " + path,
                                         L"PluginBackvalue " + path, L"free " + path,
                                         L"free " + bridgePath))
            << code;
    }
}

TEST_F(RunCommand, ThePathTheBridgeRewroteDuringBackvalueReachesPluginRun) {
    bridge.backvalue = 0;
    struct Rewriting : FakeBridge {
        using FakeBridge::FakeBridge;
        std::int16_t PluginBackvalue(std::wstring& p) override {
            FakeBridge::PluginBackvalue(p);
            p = L"C:\\ANDERS.DLL";
            return 0;
        }
    } rewriting{journal};
    Form1 other{world.Services(L"C:\\Dllscope", rewriting)};
    world.view.selected = L"p.dll";
    other.File1_Click();
    journal.clear();
    other.Command10_Click();
    EXPECT_EQ(journal.at(4), L"PluginRun <p>Text</p> | C:\\ANDERS.DLL");
    EXPECT_EQ(journal.at(5), L"free " + path);  // the handle is what was loaded
}

TEST_F(RunCommand, AFailingRunEscapesWithBothLibrariesLoadedAndTheTextKept) {
    bridge.missing["PluginRun"] = true;
    bridge.backvalue = 1;
    EXPECT_THROW(form.Command10_Click(), RuntimeError);
    EXPECT_THAT(journal, ElementsAre(L"load " + bridgePath, L"load " + path, L"PluginBackvalue " + path,
                                     L"editor WorkText"));
    EXPECT_EQ(editor.text, L"<p>Text</p>");
}

}  // namespace
}  // namespace dllscope::testing
