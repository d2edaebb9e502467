#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes.h"
#include "main_window/form1.h"

namespace dllscope::testing {
namespace {

using ::testing::ElementsAre;

class QueryCommands : public ::testing::Test, protected Form1Harness {
protected:
    QueryCommands() : Form1Harness(L"C:\\Dllscope") {}

    void Select(const std::wstring& name) {
        view.selected = name;
        form.File1_Click();
        journal.clear();
    }
    std::wstring BackvalueMessage(std::int16_t code) {
        bridge.backvalue = code;
        journal.clear();
        form.Command15_Click();
        return journal.at(3);
    }
};

TEST_F(QueryCommands, WithNoSelectionEachButtonOnlySaysSo) {
    for (auto button : {&Form1::Command7_Click, &Form1::Command14_Click, &Form1::Command15_Click,
                        &Form1::Command16_Click}) {
        journal.clear();
        (form.*button)();
        EXPECT_THAT(journal, ElementsAre(L"message Keine DLL ausgewählt!"));
    }
}

TEST_F(QueryCommands, EachAsksItsOneThingInsideABridgeCycleAndShowsItBeforeTheFrees) {
    Select(L"p.dll");
    const std::wstring path = L"C:\\Dllscope\\p.dll";
    const std::wstring loads[] = {L"load C:\\Dllscope\\modbridge.dll", L"load " + path};
    const std::wstring frees[] = {L"free " + path, L"free C:\\Dllscope\\modbridge.dll"};

    bridge.name = L"Der Name";
    form.Command7_Click();
    EXPECT_THAT(journal, ElementsAre(loads[0], loads[1], L"PluginName " + path,
                                     L"message Der Name", frees[0], frees[1]));
    journal.clear();
    bridge.description = L"Die Beschreibung";
    form.Command14_Click();
    EXPECT_THAT(journal, ElementsAre(loads[0], loads[1], L"PluginDescription " + path,
                                     L"message Die Beschreibung", frees[0], frees[1]));
    journal.clear();
    bridge.backvalue = 2;
    form.Command15_Click();
    EXPECT_THAT(journal, ElementsAre(loads[0], loads[1], L"PluginBackvalue " + path,
                                     L"message Rückgabe: 2", frees[0], frees[1]));
    journal.clear();
    form.Command16_Click();
    EXPECT_THAT(journal, ElementsAre(loads[0], loads[1], frees[0], frees[1]));
}

TEST_F(QueryCommands, OnlyTheExactBridgeNameAsksTheBridgeForItsOwnName) {
    bridge.wrapperName = L"modbridge 1.0";
    bridge.name = L"asked as a plugin";
    Select(L"modbridge.dll");
    form.Command7_Click();
    EXPECT_THAT(journal, ElementsAre(L"load C:\\Dllscope\\modbridge.dll",
                                     L"load C:\\Dllscope\\modbridge.dll", L"WrapperName ",
                                     L"message modbridge 1.0", L"free C:\\Dllscope\\modbridge.dll",
                                     L"free C:\\Dllscope\\modbridge.dll"));
    for (const wchar_t* other : {L"Modbridge.dll", L"modbridge.DLL", L"modbridge.dll ", L"x\\modbridge.dll"}) {
        Select(other);
        form.Command7_Click();
        EXPECT_EQ(journal.at(2), std::wstring(L"PluginName C:\\Dllscope\\") + other);
        EXPECT_EQ(journal.at(3), L"message asked as a plugin");
    }
}

TEST_F(QueryCommands, TheReturnCodeIsShownAsADecimalNumber) {
    Select(L"p.dll");
    EXPECT_EQ(BackvalueMessage(0), L"message Rückgabe: 0");
    EXPECT_EQ(BackvalueMessage(-1), L"message Rückgabe: -1");
    EXPECT_EQ(BackvalueMessage(32767), L"message Rückgabe: 32767");
    EXPECT_EQ(BackvalueMessage(-32768), L"message Rückgabe: -32768");
}

TEST_F(QueryCommands, AnEmptyAnswerGivesAnEmptyMessage) {
    Select(L"p.dll");
    bridge.name = L"";
    form.Command7_Click();
    EXPECT_EQ(journal.at(3), L"message ");
}

TEST_F(QueryCommands, AMissingExportEscapesAndLeavesBothLibrariesLoaded) {
    Select(L"p.dll");
    bridge.missing["PluginDescription"] = true;
    EXPECT_THROW(form.Command14_Click(), RuntimeError);
    EXPECT_THAT(journal, ElementsAre(L"load C:\\Dllscope\\modbridge.dll", L"load C:\\Dllscope\\p.dll"));
}

}  // namespace
}  // namespace dllscope::testing
