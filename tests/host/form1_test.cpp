#include "main_window/form1.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes.h"

namespace dllscope::testing {
namespace {

using ::testing::ElementsAre;

class Form1Test : public ::testing::Test, protected Form1Harness {
protected:
    Form1Test() : Form1Harness(L"C:\\Tools\\Dllscope") {}

    void Select(const std::wstring& name) {
        view.selected = name;
        form.File1_Click();
    }
};

TEST_F(Form1Test, LoadListsTheProgramFolderAndShowsTheExchangeFile) {
    form.Form_Load();
    EXPECT_THAT(journal, ElementsAre(L"list C:\\Tools\\Dllscope",
                                     L"caption lblDateiname C:\\Tools\\Dllscope\\dateiname.txt"));
    EXPECT_TRUE(form.SelectedPluginFileName().empty());
}

TEST_F(Form1Test, AtTheRootOfADriveTheBackslashIsNotDoubled) {
    Form1 atRoot{world.Services(L"D:\\")};
    atRoot.Form_Load();
    EXPECT_EQ(view.captions[Form1Label::Dateiname], L"D:\\dateiname.txt");
    view.selected = L"p.dll";
    atRoot.File1_Click();
    EXPECT_EQ(journal[2], L"load D:\\modbridge.dll");
    EXPECT_EQ(journal[3], L"load D:\\p.dll");
}

TEST_F(Form1Test, SelectionRunsOneBridgeCycleInOrder) {
    bridge.backvalue = 1;
    bridge.name = L"Entities";
    bridge.description = L"Wandelt um";
    Select(L"entities.dll");
    const std::wstring path = L"C:\\Tools\\Dllscope\\entities.dll";
    EXPECT_THAT(journal, ElementsAre(L"load C:\\Tools\\Dllscope\\modbridge.dll", L"load " + path,
                                     L"PluginBackvalue " + path,
                                     L"caption lblBackvalue Text zum/vom Plugin",
                                     L"PluginName " + path, L"caption lblName Entities",
                                     L"PluginDescription " + path,
                                     L"caption lblDescription Wandelt um", L"free " + path,
                                     L"free C:\\Tools\\Dllscope\\modbridge.dll"));
    EXPECT_EQ(form.SelectedPluginFileName(), L"entities.dll");
}

TEST_F(Form1Test, EachCodeWithMeaningHasItsWords) {
    const wchar_t* expected[] = {L"Nichts", L"Text zum/vom Plugin", L"Dateiname vom Plugin",
                                 L"Dateiname zum Plugin"};
    for (std::int16_t code = 0; code <= 3; ++code) {
        bridge.backvalue = code;
        Select(L"p.dll");
        EXPECT_EQ(view.captions[Form1Label::Backvalue], expected[code]) << code;
    }
}

TEST_F(Form1Test, CodesWithoutMeaningKeepThePreviousWordsButNameAndDescriptionChange) {
    Select(L"first.dll");  // code 1
    for (std::int16_t code : {4, -1, 32767, -32768}) {
        bridge.backvalue = code;
        bridge.name = L"N" + std::to_wstring(code);
        bridge.description = L"D" + std::to_wstring(code);
        Select(L"odd.dll");
        EXPECT_EQ(view.captions[Form1Label::Backvalue], L"Text zum/vom Plugin") << code;
        EXPECT_EQ(view.captions[Form1Label::Name], bridge.name);
        EXPECT_EQ(view.captions[Form1Label::Description], bridge.description);
    }
}

TEST_F(Form1Test, ACodeWithoutMeaningAsFirstSelectionLeavesTheWordsEmpty) {
    bridge.backvalue = 4;
    Select(L"odd.dll");
    EXPECT_EQ(view.captions.count(Form1Label::Backvalue), 0u);
    EXPECT_EQ(view.captions[Form1Label::Name], L"Name");
}

TEST_F(Form1Test, BridgeLackingPluginNameWarnsAfterTheWordsAndKeepsTheOldTexts) {
    Select(L"old.dll");
    journal.clear();
    bridge.backvalue = 2;
    bridge.name = L"new name";
    bridge.missing["PluginName"] = true;
    Select(L"new.dll");
    const std::wstring path = L"C:\\Tools\\Dllscope\\new.dll";
    // The libraries stay loaded: no frees after the failure.
    EXPECT_THAT(journal, ElementsAre(L"load C:\\Tools\\Dllscope\\modbridge.dll", L"load " + path,
                                     L"PluginBackvalue " + path,
                                     L"caption lblBackvalue Dateiname vom Plugin",
                                     L"message Ungültige DLL für Tagsmith! (!)"));
    EXPECT_EQ(view.captions[Form1Label::Name], L"Name");
    EXPECT_EQ(view.captions[Form1Label::Description], L"Beschreibung");
    EXPECT_EQ(form.SelectedPluginFileName(), L"new.dll");
}

TEST_F(Form1Test, NoBridgeAtAllWarnsAndChangesNoLabel) {
    libraries.failing[L"C:\\Tools\\Dllscope\\modbridge.dll"] = true;
    bridge.missing["PluginBackvalue"] = true;  // the binding fails at the first call
    Select(L"p.dll");
    EXPECT_THAT(journal, ElementsAre(L"load C:\\Tools\\Dllscope\\modbridge.dll",
                                     L"load C:\\Tools\\Dllscope\\p.dll",
                                     L"message Ungültige DLL für Tagsmith! (!)"));
    EXPECT_TRUE(view.captions.empty());
}

TEST_F(Form1Test, AFailedLoadIsNoErrorAndItsZeroHandleIsFreed) {
    libraries.failing[L"C:\\Tools\\Dllscope\\gone.dll"] = true;
    Select(L"gone.dll");
    EXPECT_EQ(journal.end()[-2], L"free 0");
    EXPECT_EQ(journal.back(), L"free C:\\Tools\\Dllscope\\modbridge.dll");
}

TEST_F(Form1Test, EmptySelectionOnlySaysSoAndClearsTheSelectedName) {
    Select(L"p.dll");
    journal.clear();
    Select(L"");
    EXPECT_THAT(journal, ElementsAre(L"message Keine DLL ausgewählt!"));
    EXPECT_TRUE(form.SelectedPluginFileName().empty());
    EXPECT_EQ(view.captions[Form1Label::Name], L"Name");  // labels keep their texts
}

TEST_F(Form1Test, TheBridgeItselfIsAskedLikeAnyPlugin) {
    Select(L"modbridge.dll");
    EXPECT_EQ(journal[0], L"load C:\\Tools\\Dllscope\\modbridge.dll");
    EXPECT_EQ(journal[1], L"load C:\\Tools\\Dllscope\\modbridge.dll");
    EXPECT_EQ(journal[2], L"PluginBackvalue C:\\Tools\\Dllscope\\modbridge.dll");
}

TEST_F(Form1Test, SelectAllSendsTheCommandWithThePaneItselfThenFocuses) {
    form.Command9_Click();  // an empty pane too
    EXPECT_THAT(journal, ElementsAre(L"editor RunCommand 137 self", L"editor SetFocus"));
}

TEST_F(Form1Test, EndEndsTheProgram) {
    form.Command17_Click();
    EXPECT_TRUE(view.ended);
}

}  // namespace
}  // namespace dllscope::testing
