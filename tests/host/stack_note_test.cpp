#include "plugin/stack_note.h"

#include <gtest/gtest.h>

namespace dllscope::testing {
namespace {

TEST(StackNote, TheBridgesNoteBecomesTheAuthorsWordsAndAnythingElseNothing) {
    EXPECT_EQ(StackWarning(L"mein.dll", L"TsRun 4"),
              L"Das Plugin \u201Emein.dll\u201C exportiert TsRun als __cdecl; Tagsmith ruft "
              L"__stdcall auf (WINAPI vergessen?)");
    EXPECT_EQ(StackWarning(L"mein.dll", L"TsName -4"),
              L"Das Plugin \u201Emein.dll\u201C nimmt beim Aufruf von TsName 4 Bytes mehr vom "
              L"Stapel, als Tagsmith übergibt (mehr Parameter als in tagsmith_plugin.h?)");
    for (const wchar_t* note : {L"", L"TsRun", L"TsRun 0", L"TsRun +4", L"TsRun 04", L"Ts Run 4",
                                L"TsRun 4 ", L"TsRun 12345", L"TsRun -", L"\u201E 4"}) {
        EXPECT_EQ(StackWarning(L"mein.dll", note), L"") << note;
    }
}

// What no note became is no warning: a bridge that notes nothing leaves
// nothing to say (else every command would end in a box), and a warning
// said once is said once.
TEST(StackNote, OnlyWordsAreKeptAndEachOnce) {
    StackWarnings warnings;
    warnings.Add(StackWarning(L"mein.dll", L""));
    warnings.Add(std::vector<std::wstring>{L"", L"a", L"a", L"b"});
    EXPECT_EQ(warnings.Take(), (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_TRUE(warnings.Take().empty());
    // What a host answers is bounded: sixteen, of 1,024 characters each,
    // however many it sends (a hundred thousand distinct ones cost no time).
    std::vector<std::wstring> flood;
    for (int i = 0; i < 100000; ++i) flood.push_back(std::to_wstring(i) + std::wstring(3, L'x'));
    flood[0] = std::wstring(5000, L'y');
    warnings.Add(flood);
    const std::vector<std::wstring> kept = warnings.Take();
    ASSERT_EQ(kept.size(), 16u);
    EXPECT_EQ(kept[0], std::wstring(1024, L'y'));
}

}  // namespace
}  // namespace dllscope::testing
