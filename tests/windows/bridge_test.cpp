// The real bridge adapters against real libraries in the test's program
// folder. Each suite runs in a folder of its own (see CMakeLists.txt),
// since an export stays bound to the bridge it first found.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "common/runtime_error.h"
#include "fakes.h"
#include "main_window/form1.h"
#include "common/win32/ansi.h"
#include "plugin/win32/bridge.h"
#include "plugin/win32/libraries.h"
#include "test_support.h"

namespace dllscope::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

std::string Ansi(const std::wstring& s) { return ToAnsi(s); }

// Form1's handlers on the real libraries and bridge, with a recording view.
class RealForm1 : public ::testing::Test {
  protected:
    void SetUp() override { ClearCallLog(); }

    FakeWorld world;
    Journal& journal = world.journal;
    FakeForm1View& view = world.view;
    Bindings bindings;
    Win32Libraries libraries;
    Win32Bridge bridge{bindings};
    Form1 form{Form1Services{TestFolder(), libraries, bridge, world.editor, view, world.viewer,
                             world.resultFileName, world.demoExports, world.automation}};

    void Select(const std::wstring& name) {
        view.selected = name;
        form.File1_Click();
    }
    std::wstring Caption(Form1Label l) { return view.captions[l]; }
};

using Recording = RealForm1;

TEST_F(Recording, SelectionLoadsAsksAndFreesInOrder) {
    Select(L"code1.dll");
    const std::string path = Ansi(InTestFolder(L"code1.dll"));
    // The bridge stays loaded through its bindings; the plugin is freed.
    EXPECT_THAT(ReadCallLog(),
                ElementsAre("attach code1.dll", "PluginBackvalue|" + path, "PluginName|" + path,
                            "PluginDescription|" + path, "detach code1.dll"));
    EXPECT_EQ(Caption(Form1Label::Backvalue), L"Text zum/vom Plugin");
    EXPECT_EQ(Caption(Form1Label::Name), L"Name:" + InTestFolder(L"code1.dll"));
    EXPECT_EQ(GetModuleHandleW(InTestFolder(L"code1.dll").c_str()), nullptr);
}

TEST_F(Recording, CodesAreSixteenBitSignedAndOnlyZeroToThreeHaveWords) {
    Select(L"code3.dll");
    EXPECT_EQ(Caption(Form1Label::Backvalue), L"Dateiname zum Plugin");
    Select(L"code0.dll");
    EXPECT_EQ(Caption(Form1Label::Backvalue), L"Nichts");
    Select(L"code2.dll");
    EXPECT_EQ(Caption(Form1Label::Backvalue), L"Dateiname vom Plugin");
    for (const wchar_t* odd : {L"code4.dll", L"code-1.dll"}) {
        Select(odd);
        EXPECT_EQ(Caption(Form1Label::Backvalue), L"Dateiname vom Plugin") << odd;
        EXPECT_EQ(Caption(Form1Label::Name), L"Name:" + InTestFolder(odd));
    }
    std::wstring path = InTestFolder(L"code-32768.dll");
    EXPECT_EQ(bridge.PluginBackvalue(path), -32768);
}

TEST_F(Recording, StringsKeepUmlautsAndEmbeddedNulsAndLoseWhatTheCodePageLacks) {
    std::wstring path = L"C:\\Plugins\\Grüße.dll";
    EXPECT_EQ(bridge.PluginName(path), L"Name:C:\\Plugins\\Grüße.dll");
    EXPECT_EQ(bridge.PluginDescription(path), std::wstring(L"Beschreibung\0mit NUL", 20));
    std::wstring p = L"p.dll";
    EXPECT_EQ(bridge.PluginRun(L"Grüße \u4E2D", p), L"run:Grüße ?");  // text: the code page's fallback
    // A path that neither itself nor a short form can carry never reaches
    // the bridge: it would name another file.
    std::wstring beyond = L"C:\\Plugins\\Grüße \u4E2D.dll";
    EXPECT_EQ(bridge.PluginBackvalue(beyond), -1);
    EXPECT_EQ(bridge.PluginName(beyond), L"(kein Plugin)");
    EXPECT_THAT(bridge.PluginDescription(beyond), HasSubstr(L"enthält \u201E\u4E2D\u201C, das die ANSI-Codepage"));
    std::wstring nullPath = L"C:\\nullbstr.dll";
    EXPECT_EQ(bridge.PluginName(nullPath), L"");  // a null BSTR is the empty string
    EXPECT_EQ(bridge.WrapperName(), L"recording bridge");
}

TEST_F(Recording, TheBridgesChangesToThePathComeBackIntoTheVariable) {
    std::wstring path = L"C:\\Plugins\\writeback.dll";
    EXPECT_EQ(bridge.PluginBackvalue(path), 1);
    EXPECT_EQ(path, L"C:\\PLUGINS\\WRITEBACK.DLL");
    // The text is a temporary and the path goes second.
    std::wstring p2 = L"p.dll";
    EXPECT_EQ(bridge.PluginRun(L"Text äöü", p2), L"run:Text äöü");
    EXPECT_EQ(ReadCallLog().back(), "PluginRun|Text \xE4\xF6\xFC|p.dll");
}

TEST_F(Recording, TheBridgesNoteOnTheStackBecomesAWarningNamingThePluginOnce) {
    std::wstring path = L"C:\\Plugins\\unbalanced.dll";
    EXPECT_EQ(bridge.PluginRun(L"x", path), L"run:x");  // the result is kept
    bridge.PluginRun(L"y", path);
    EXPECT_THAT(bridge.TakeStackWarnings(),
                ElementsAre(L"Das Plugin \u201Eunbalanced.dll\u201C exportiert TsRun als __cdecl; "
                            L"Tagsmith ruft __stdcall auf (WINAPI vergessen?)"));
    std::wstring other = L"C:\\Plugins\\code1.dll";
    bridge.PluginRun(L"z", other);
    EXPECT_TRUE(bridge.TakeStackWarnings().empty());
}

TEST_F(Recording, EmptySelectionLoadsNothing) {
    Select(L"");
    EXPECT_THAT(journal, ElementsAre(L"message Keine DLL ausgewählt!"));
    EXPECT_TRUE(ReadCallLog().empty());
}

TEST(LackingBridge, AMissingExportIsAnErrorNamingLibraryAndExport) {
    Bindings bindings;
    Win32Bridge bridge(bindings);
    std::wstring path = InTestFolder(L"code1.dll");
    EXPECT_EQ(bridge.PluginBackvalue(path), 1);  // without WrapperStackNote too
    EXPECT_TRUE(bridge.TakeStackWarnings().empty());
    try {
        bridge.PluginName(path);
        FAIL() << "PluginName should not be found";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Description(),
                  L"In der Bibliothek \u201Emodbridge.dll\u201C fehlt der Export "
                  L"\u201EPluginName\u201C.");
    }
}

using LackingBridgeForm = RealForm1;

TEST_F(LackingBridgeForm, SelectionShowsTheWordsThenWarnsAndLeavesTheLibrariesLoaded) {
    view.captions[Form1Label::Name] = L"alter Name";
    Select(L"code1.dll");
    EXPECT_EQ(Caption(Form1Label::Backvalue), L"Text zum/vom Plugin");
    EXPECT_EQ(Caption(Form1Label::Name), L"alter Name");
    EXPECT_EQ(journal.back(), L"message Ungültige DLL für Tagsmith! (!)");
    EXPECT_NE(GetModuleHandleW(InTestFolder(L"code1.dll").c_str()), nullptr);
}

TEST(NoBridge, TheFirstCallFailsNamingTheLibrary) {
    Bindings bindings;
    Win32Bridge bridge(bindings);
    std::wstring path = L"C:\\x.dll";
    try {
        bridge.PluginBackvalue(path);
        FAIL() << "there is no bridge";
    } catch (const RuntimeError& e) {
        EXPECT_THAT(e.Description(),
                    HasSubstr(L"Die Bibliothek \u201Emodbridge.dll\u201C wurde nicht gefunden"));
    }
}

using NoBridgeForm = RealForm1;

TEST_F(NoBridgeForm, SelectionWarnsAndChangesNoLabel) {
    Select(L"code1.dll");
    EXPECT_THAT(journal, ElementsAre(L"message Ungültige DLL für Tagsmith! (!)"));
    EXPECT_EQ(ReadCallLog().front(), "attach code1.dll");  // loaded, and left loaded
}

// The reference bridge that ships with Dllscope.
class RealBridge : public ::testing::Test {
  protected:
    Bindings bindings;
    Win32Bridge bridge{bindings};
    struct Answer {
        std::int16_t code;
        std::wstring name, description;
    };
    Answer Ask(const std::wstring& file) {
        std::wstring path = InTestFolder(file);
        const std::int16_t code = bridge.PluginBackvalue(path);
        return {code, bridge.PluginName(path), bridge.PluginDescription(path)};
    }
};

TEST_F(RealBridge, AnswersForAPluginAndRunsIt) {
    const Answer a = Ask(L"entities.dll");
    EXPECT_EQ(a.code, 1);
    EXPECT_EQ(a.name, L"HTML-Entities");
    EXPECT_THAT(a.description, HasSubstr(L"HTML-Entities"));
    std::wstring path = InTestFolder(L"entities.dll");
    EXPECT_EQ(bridge.PluginRun(L"<p>Grüße & \u20AC</p>\r\n", path),
              L"&lt;p&gt;Gr&uuml;&szlig;e &amp; &euro;&lt;/p&gt;\r\n");
    EXPECT_EQ(bridge.PluginRun(L"", path), L"");
}

TEST_F(RealBridge, TheSamplesCoverEveryReturnType) {
    EXPECT_EQ(Ask(L"htmlcheck.dll").code, 0);
    EXPECT_EQ(Ask(L"outline.dll").code, 2);
    EXPECT_EQ(Ask(L"tidyfile.dll").code, 3);
}

TEST_F(RealBridge, TheCheckSaysWhatIsWrongInItsOwnBox) {
    MessageBoxWatcher watcher;
    std::wstring path = InTestFolder(L"htmlcheck.dll");
    EXPECT_EQ(bridge.PluginRun(L"<ul>\r\n<li><b>x</i>\r\n</ul>", path), L"");
    const auto seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].title, L"HTML-Prüfung");
    EXPECT_THAT(seen[0].text, HasSubstr(L"Zeile 2: </i> schließt <b> aus Zeile 2"));
    EXPECT_THAT(seen[0].text, HasSubstr(L"Zeile 3: </ul> schließt <b> aus Zeile 2"));
}

TEST_F(RealBridge, TheOutlineIsWrittenToAFileWhoseNameComesBack) {
    std::wstring path = InTestFolder(L"outline.dll");
    const std::wstring file = bridge.PluginRun(L"<h1>Grüße</h1>\r\n<h3 class=x>Tief</h3>", path);
    std::ifstream in(file.c_str(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes,
              "\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F"
              "e\r\n    Tief\r\n");
}

TEST_F(RealBridge, TheExchangeFileIsTidiedOrCreated) {
    const std::wstring file = InTestFolder(L"dateiname.txt");
    DeleteFileW(file.c_str());
    std::wstring path = InTestFolder(L"tidyfile.dll");
    bridge.PluginRun(file, path);
    std::ifstream created(file.c_str(), std::ios::binary);
    EXPECT_TRUE(created.good());
    created.close();
    std::ofstream(file.c_str(), std::ios::binary) << "eins  \nzwei\t\r\ndrei ";
    bridge.PluginRun(file, path);
    std::ifstream in(file.c_str(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, "eins\r\nzwei\r\ndrei");
}

TEST_F(RealBridge, AnswersAboutItselfWhenGivenItsOwnPath) {
    const Answer a = Ask(L"modbridge.dll");
    EXPECT_EQ(a.code, 0);
    EXPECT_THAT(a.name, HasSubstr(L"Brücke"));
    EXPECT_THAT(bridge.WrapperName(), HasSubstr(L"modbridge 1.0"));
}

TEST_F(RealBridge, SaysWhyALibraryIsNoPlugin) {
    struct Case {
        const wchar_t* file;
        std::wstring said;
    };
    const std::wstring otherBitness = sizeof(void*) == 8
                                          ? L"ist eine 32-Bit-DLL; dieses Dllscope ist 64 Bit."
                                          : L"ist eine 64-Bit-DLL; dieses Dllscope ist 32 Bit.";
    for (const Case& c : std::vector<Case>{
             {L"noplugin.dll", L"\"TsBackvalue\" fehlt"},
             {L"otherbitness.dll", L"\u201Eotherbitness.dll\u201C " + otherBitness},
             {L"broken.dll",
              L"\u201Ebroken.dll\u201C ist keine Windows-DLL: der Datei fehlt der Kopf"},
             {L"empty.dll", L"\u201Eempty.dll\u201C ist eine leere Datei (0 Bytes), keine DLL."},
             {L"program.dll", L"\u201Eprogram.dll\u201C ist ein Programm (EXE), keine DLL."},
             {L"chain.dll",
              L"\u201Echain.dll\u201C braucht \u201Emiddle.dll\u201C, \u201Emiddle.dll\u201C "
              L"braucht \u201Egibtsnicht.dll\u201C, die nicht gefunden wird"},
             {L"needy.dll",
              L"\u201Eneedy.dll\u201C braucht die Funktion \u201ENew\u201C aus "
              L"\u201Eprovider.dll\u201C, aber"},
             {L"initfails.dll", L"Der Einsprungpunkt (DllMain) von \u201Einitfails.dll\u201C"},
             {L"missing.dll", L"gibt es nicht"},
         }) {
        const Answer a = Ask(c.file);
        EXPECT_EQ(a.code, -1) << c.file;
        EXPECT_EQ(a.name, L"(kein Plugin)") << c.file;
        EXPECT_THAT(a.description, HasSubstr(c.said)) << c.file;
        EXPECT_THAT(a.description, Not(HasSubstr(L"%1"))) << c.file;
    }
    // What is no plugin gives the text back: a caller that writes it loses nothing.
    std::wstring path = InTestFolder(L"missing.dll");
    EXPECT_EQ(bridge.PluginRun(L"Text", path), L"Text");
    EXPECT_EQ(bridge.PluginWrappText(L"Grüße", path), L"Grüße");
    EXPECT_EQ(bridge.PluginWrappForm(L"Form", path), L"Form");
}

}  // namespace
}  // namespace dllscope::testing
