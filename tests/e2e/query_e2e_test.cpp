// The single queries, and the report of a command that fails.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "driver.h"

namespace dllscope::e2e {
namespace {

using ::testing::HasSubstr;

std::wstring AppFolder(const wchar_t* name) { return E2eFolder() + L"\\" + name; }

std::wstring AnswerOf(Driver& app, const wchar_t* button) {
    app.Click(app.Control(button));
    const MessageBoxSeen box = app.WaitForMessageBox();
    EXPECT_EQ(box.title, L"Dllscope");
    EXPECT_EQ(box.icon, Icon::None);
    app.PressOk(box);
    return box.text;
}

TEST(Queries, EachButtonShowsWhatTheSelectedPluginSays) {
    Driver app(AppFolder(L"app"));
    EXPECT_EQ(AnswerOf(app, L"Command15"), L"Keine DLL ausgewählt!");
    app.ClickListEntry(app.Control(L"File1"), L"entities.dll");
    EXPECT_EQ(AnswerOf(app, L"Command15"), L"Rückgabe: 1");
    EXPECT_EQ(AnswerOf(app, L"Command7"), L"HTML-Entities");
    EXPECT_THAT(AnswerOf(app, L"Command14"), HasSubstr(L"HTML-Entities"));
    app.Click(app.Control(L"Command16"));
    EXPECT_TRUE(app.NoMessageBoxWithin(500));
    app.ClickListEntry(app.Control(L"File1"), L"modbridge.dll");
    EXPECT_THAT(AnswerOf(app, L"Command7"), HasSubstr(L"modbridge 1.0"));
}

TEST(Queries, AMissingExportIsReportedAndTheProgramGoesOnWithTheTextKept) {
    Driver app(AppFolder(L"lacking"));
    const HWND editor = app.Control(L"CodeMax1");
    app.Click(editor);
    app.Type(L"mein Text");
    app.ClickListEntry(app.Control(L"File1"), L"entities.dll");
    const MessageBoxSeen warning = app.WaitForMessageBox();
    EXPECT_EQ(warning.text, L"Ungültige DLL für Tagsmith!");
    app.PressOk(warning);

    app.Click(app.Control(L"Command7"));
    const MessageBoxSeen report = app.WaitForMessageBox();
    EXPECT_EQ(report.title, L"Dllscope");
    EXPECT_EQ(report.icon, Icon::Error);
    EXPECT_THAT(report.text, HasSubstr(L"\u201EPluginName\u201C ist fehlgeschlagen"));
    EXPECT_THAT(report.text, HasSubstr(L"\u201Emodbridge.dll\u201C fehlt der Export \u201EPluginName\u201C"));
    app.PressOk(report);
    EXPECT_EQ(app.TextOf(editor), L"mein Text");
    EXPECT_EQ(AnswerOf(app, L"Command15"), L"Rückgabe: 0");  // still running
}

}  // namespace
}  // namespace dllscope::e2e
