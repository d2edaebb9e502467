// The demo panel as a person uses it, against the demo libraries and the
// demo automation class that ship with Dllscope.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "driver.h"
#include "window_helpers.h"

namespace dllscope::e2e {
namespace {

using ::testing::HasSubstr;

std::wstring AppFolder() { return E2eFolder() + L"\\app"; }

HRESULT CallServer(const char* entry) {
    return testing::CallDemoServer(AppFolder() + L"\\actxdemo.dll", entry);
}

class Demos : public ::testing::Test {
protected:
    void Write(const std::wstring& text) {
        app.Click(editor);
        app.Type(text);
    }
    Driver app{AppFolder()};
    HWND editor = app.Control(L"CodeMax1");
};

TEST_F(Demos, TheTextWrapperChangesTheEditorText) {
    Write(L"<P CLASS=x>Text</P>");
    app.Click(app.Control(L"Command4"));
    EXPECT_EQ(app.TextOf(editor), L"<p CLASS=x>Text</p>");
}

TEST_F(Demos, TheFormWrapperShowsItsWindowAndTakesOverOrCancels) {
    Write(L"alt");
    app.Click(app.Control(L"Command5"));
    MessageBoxSeen form = app.WaitForMessageBox();  // a dialog window like a box
    ASSERT_NE(form.hwnd, nullptr);
    EXPECT_EQ(form.title, L"Demo-Formular: Text bearbeiten");
    app.Click(GetDlgItem(form.hwnd, 100));
    app.Type(L" und neu");
    app.Click(GetDlgItem(form.hwnd, IDOK));
    EXPECT_EQ(app.TextOf(editor), L"alt und neu");

    app.Click(app.Control(L"Command5"));
    form = app.WaitForMessageBox();
    app.Click(GetDlgItem(form.hwnd, 100));
    app.Type(L"verworfen");
    app.Click(GetDlgItem(form.hwnd, IDCANCEL));
    EXPECT_EQ(app.TextOf(editor), L"alt und neu");
}

TEST_F(Demos, TheAutomationClassWritesItsResultOrFailsNamingTheClass) {
    ASSERT_EQ(CallServer("DllRegisterServer"), S_OK);
    Write(L"eins & zwei");
    app.Click(app.Control(L"Command11"));
    EXPECT_EQ(app.TextOf(editor), L"<p>eins &amp; zwei</p>");

    ASSERT_EQ(CallServer("DllUnregisterServer"), S_OK);
    app.Click(app.Control(L"Command11"));
    const MessageBoxSeen report = app.WaitForMessageBox();
    EXPECT_EQ(report.icon, Icon::Error);
    EXPECT_THAT(report.text, HasSubstr(L"\u201EActiveX-DLL\u201C ist fehlgeschlagen"));
    EXPECT_THAT(report.text, HasSubstr(L"{C70AA879-112A-4294-9096-CFC5158773F3}"));
    app.PressOk(report);
    EXPECT_EQ(app.TextOf(editor), L"<p>eins &amp; zwei</p>");
    ASSERT_EQ(CallServer("DllRegisterServer"), S_OK);  // as the README's command leaves it
}

TEST_F(Demos, TheDirectExportsAnswerOrReport) {
    Write(L"<b>fett</b>");
    app.Click(app.Control(L"Command12"));
    MessageBoxSeen box = app.WaitForMessageBox();
    EXPECT_EQ(box.text, L"Zeichen: 11, Wörter: 1, Tags: 2");
    app.PressOk(box);

    app.Click(app.Control(L"Command9"));
    app.Type(L"table");
    app.Click(app.Control(L"Command13"));
    EXPECT_TRUE(app.NoMessageBoxWithin(500));
    app.Click(app.Control(L"Command9"));
    app.Type(L"blink");
    app.Click(app.Control(L"Command13"));
    box = app.WaitForMessageBox();
    EXPECT_THAT(box.text, HasSubstr(L"\u201Eblink\u201C ist kein HTML-Element"));
    EXPECT_EQ(box.icon, Icon::Error);
    app.PressOk(box);
    EXPECT_EQ(app.TextOf(editor), L"blink");
}

TEST_F(Demos, Command1ShowsThePathThenZeroAndTheOthersDoNothing) {
    app.Click(app.Control(L"Command1"));
    MessageBoxSeen box = app.WaitForMessageBox();
    EXPECT_EQ(box.text, AppFolder() + L"\\demotext_1.dll");
    app.PressOk(box);
    box = app.WaitForMessageBox();
    EXPECT_EQ(box.text, L"0");
    app.PressOk(box);
    for (const wchar_t* button : {L"Command3", L"Command6", L"Command8", L"Command2"}) {
        app.Click(app.Control(button));
        EXPECT_TRUE(app.NoMessageBoxWithin(300)) << button;
    }
}

}  // namespace
}  // namespace dllscope::e2e
