// The editor pane on the real editor component.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <richedit.h>

#include <SciLexer.h>
#include <Scintilla.h>

#include <fstream>

#include "editor/win32/code_pane.h"
#include "test_support.h"

namespace dllscope::testing {
namespace {

using ::testing::HasSubstr;

class Editor : public ::testing::Test {
  protected:
    void SetUp() override {
        parent = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 700, 500,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        pane = std::make_unique<CodePane>(parent, 100, RECT{4, 4, 665, 469}, 96);
    }
    void TearDown() override {
        pane.reset();
        DestroyWindow(parent);
    }
    void Select(LONG from, LONG to) { SendMessageW(pane->Handle(), EM_SETSEL, from, to); }
    CHARRANGE Selection() {
        CHARRANGE r{};
        SendMessageW(pane->Handle(), EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&r));
        return r;
    }
    std::wstring WriteFileAndLoad(const std::string& bytes) {
        const std::wstring name = InTestFolder(L"editor-test.txt");
        std::ofstream(name.c_str(), std::ios::binary) << bytes;
        std::wstring arg = name;
        pane->LoadFile(arg);
        DeleteFileW(name.c_str());
        return pane->Text();
    }

    HWND parent = nullptr;
    std::unique_ptr<CodePane> pane;
};

TEST_F(Editor, IsCourierNewElevenPixelsHighWithLineNumbers) {
    char face[64] = {};
    SendMessageW(pane->Handle(), SCI_STYLEGETFONT, STYLE_DEFAULT, reinterpret_cast<LPARAM>(face));
    EXPECT_STREQ(face, "Courier New");
    EXPECT_EQ(SendMessageW(pane->Handle(), SCI_STYLEGETSIZEFRACTIONAL, STYLE_DEFAULT, 0),
              825);  // 11 px at 96 DPI
    EXPECT_EQ(SendMessageW(pane->Handle(), SCI_STYLEGETBOLD, STYLE_DEFAULT, 0), 0);
    EXPECT_EQ(SendMessageW(pane->Handle(), SCI_GETMARGINTYPEN, 0, 0), SC_MARGIN_NUMBER);
    EXPECT_GT(SendMessageW(pane->Handle(), SCI_GETMARGINWIDTHN, 0, 0), 0);
}

// The HTML lexer styles the text; what plugins get is the text alone.
TEST_F(Editor, TagsAreStyledAndTheTextStaysPlain) {
    pane->SetWorkText(L"<p class=\"x\">Gr&uuml;&szlig;e<!-- c --></p>");
    SendMessageW(pane->Handle(), SCI_COLOURISE, 0, -1);
    const auto style = [&](int at) { return SendMessageW(pane->Handle(), SCI_GETSTYLEAT, at, 0); };
    EXPECT_EQ(style(0), SCE_H_TAG);
    EXPECT_EQ(style(3), SCE_H_ATTRIBUTE);
    EXPECT_EQ(style(9), SCE_H_DOUBLESTRING);
    EXPECT_EQ(style(15), SCE_H_ENTITY);
    EXPECT_EQ(style(29), SCE_H_COMMENT);
    EXPECT_EQ(pane->Text(), L"<p class=\"x\">Gr&uuml;&szlig;e<!-- c --></p>");
}

TEST_F(Editor, WorkTextIsTheSelectionOrTheWholeTextAndAWriteReplacesExactlyThat) {
    pane->SetWorkText(L"eins zwei drei");
    EXPECT_EQ(pane->WorkText(), L"eins zwei drei");
    Select(5, 9);
    EXPECT_EQ(pane->WorkText(), L"zwei");
    pane->SetWorkText(L"2 – zwo");
    EXPECT_EQ(pane->Text(), L"eins 2 – zwo drei");
    EXPECT_EQ(pane->WorkText(), L"2 – zwo");  // read right after the write
    pane->SetWorkText(L"Zeile\r\nnoch eine");
    EXPECT_EQ(pane->WorkText(), L"Zeile\r\nnoch eine");
    EXPECT_EQ(pane->Text(), L"eins Zeile\r\nnoch eine drei");
}

TEST_F(Editor, AWriteCanBeUndoneSoThatNoTextIsLost) {
    pane->SetWorkText(L"mein Text");
    pane->SetWorkText(L"vom Plugin");
    SendMessageW(pane->Handle(), EM_UNDO, 0, 0);
    EXPECT_EQ(pane->Text(), L"mein Text");
    pane->SetWorkText(L"eins zwei");
    Select(5, 9);
    pane->SetWorkText(L"2");
    SendMessageW(pane->Handle(), EM_UNDO, 0, 0);
    EXPECT_EQ(pane->Text(), L"eins zwei");
}

// What the copy of the text before a plugin call goes by.
TEST_F(Editor, TellsWhetherTheTextChangedSinceItWasLastAsked) {
    EXPECT_FALSE(pane->TakeChanged());
    pane->SetWorkText(L"neu");
    EXPECT_TRUE(pane->TakeChanged());
    EXPECT_FALSE(pane->TakeChanged());
    SendMessageW(pane->Handle(), EM_UNDO, 0, 0);
    EXPECT_TRUE(pane->TakeChanged());
    pane->MarkChanged();
    EXPECT_TRUE(pane->TakeChanged());
}

TEST_F(Editor, LineBreaksReadBackExactlyAsWritten) {
    pane->SetWorkText(L"a\nb\rc\r\nd");
    EXPECT_EQ(pane->WorkText(), L"a\nb\rc\r\nd");
    Select(0, 3);  // "a", the break, "b"
    EXPECT_EQ(pane->WorkText(), L"a\nb");
}

TEST_F(Editor, KeepsCharactersOutsideTheBmpAndHasNoSizeLimitOfItsOwnNorInItsSelection) {
    const std::wstring text = L"Grüße \xD83D\xDE00 " + std::wstring(100000, L'x');
    pane->SetWorkText(text);
    EXPECT_EQ(pane->WorkText(), text);
    // Past 65535 the packed answer of EM_GETSEL is -1; the two out-parameters hold it all.
    DWORD from = 0, to = 0;
    Select(70000, 70005);
    EXPECT_EQ(SendMessageW(pane->Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                           reinterpret_cast<LPARAM>(&to)),
              -1);
    EXPECT_EQ(from, 70000u);
    EXPECT_EQ(to, 70005u);
    Select(2, 5);
    EXPECT_EQ(SendMessageW(pane->Handle(), EM_GETSEL, 0, 0), MAKELRESULT(2, 5));
    Select(0, -1);
    pane->SetWorkText(L"");
    EXPECT_EQ(pane->Text(), L"");
}

TEST_F(Editor, SelectAllSelectsEverythingEvenWhenEmptyAndOtherCommandsDoNothing) {
    pane->RunCommand(137, *pane);
    EXPECT_EQ(pane->WorkText(), L"");
    pane->SetWorkText(L"alles");
    Select(1, 2);
    pane->RunCommand(136, *pane);
    EXPECT_EQ(pane->WorkText(), L"l");
    pane->RunCommand(137, *pane);
    EXPECT_EQ(Selection().cpMin, 0);
    EXPECT_EQ(pane->WorkText(), L"alles");
    pane->SetWorkText(L"neu\r\n");  // replaces all that was selected
    EXPECT_EQ(pane->Text(), L"neu\r\n");
    EXPECT_EQ(pane->WorkText(), L"neu\r\n");
}

TEST_F(Editor, LoadFileReadsUtf8Utf16AndAnsi) {
    EXPECT_EQ(WriteFileAndLoad("\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F"
                               "e\r\nzwei"),
              L"Grüße\r\nzwei");
    EXPECT_EQ(WriteFileAndLoad(std::string("\xFF\xFEG\0r\0\xFC\0", 8)), L"Grü");
    EXPECT_EQ(WriteFileAndLoad(std::string("\xFE\xFF\0G\0r\0\xFC", 8)), L"Grü");
    EXPECT_EQ(WriteFileAndLoad("<p>Gr\xC3\xBC\xC3\x9F"
                               "e</p>"),
              L"<p>Grüße</p>");
    EXPECT_EQ(WriteFileAndLoad("Gr\xFC\xDF"
                               "e \x80"),
              L"Grüße €");  // Windows-1252
    EXPECT_EQ(WriteFileAndLoad(std::string("MZ\0\x90", 4)), L"MZ\uFFFD\u0090");
}

TEST_F(Editor, AFileThatCannotBeReadEmptiesThePaneOrIsNotOpenedAndSaysSoNamingTheFile) {
    MessageBoxWatcher watcher;
    pane->SetWorkText(L"alter Text");
    std::wstring missing = InTestFolder(L"gibt-es-nicht.html");
    pane->LoadFile(missing);
    EXPECT_EQ(pane->Text(), L"");
    std::wstring folder = TestFolder();
    pane->LoadFile(folder);
    std::wstring empty;
    pane->LoadFile(empty);
    // Opened in place of the text (Ctrl+O): the same box, the text kept.
    pane->SetWorkText(L"bleibt");
    pane->ReplaceWithFile(missing);
    EXPECT_EQ(pane->Text(), L"bleibt");
    const auto seen = watcher.Seen();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[3].text, seen[0].text);
    EXPECT_EQ(seen[0].title, L"Dllscope");
    EXPECT_THAT(seen[0].text, HasSubstr(L"\u201E" + missing + L"\u201C kann nicht gelesen werden"));
    EXPECT_EQ(seen[0].icon, BoxIcon::Error);
    EXPECT_EQ(seen[1].text, L"\u201E" + folder + L"\u201C ist ein Ordner, keine Datei.");
    EXPECT_EQ(seen[2].text, L"Es wurde kein Dateiname angegeben; es gibt nichts anzuzeigen.");
}

}  // namespace
}  // namespace dllscope::testing
