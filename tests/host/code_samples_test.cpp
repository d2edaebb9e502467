// Where samples of a plugin's thread say it spends its time: by the
// plugin's own lines, time in other modules counted for the line that
// called them, and the words of a hang and of a profile's hot spots.
#include <gtest/gtest.h>

#include "sampling/code_samples.h"

namespace dllscope {
namespace {

StackFrame At(const wchar_t* function, std::uint32_t line, const wchar_t* module = L"lines.dll") {
    return {module, function, line ? L"/src/plug/lines.c" : L"", line, L"lines.dll+0x1A", 0};
}
const StackFrame kRuntime{L"msvcrt.dll", L"strstr", L"", 0, L"msvcrt.dll+0x99", 0};
const StackFrame kSystem{L"ntdll.dll", L"", L"", 0, L"ntdll.dll+0x40", 0};

TEST(CodeSamples, TimeElsewhereCountsForThePluginLineThatCalledIt) {
    const std::vector<SampledStack> samples = {
        {At(L"Rebuild", 51), At(L"TsRun", 61)},
        {kRuntime, At(L"Rebuild", 52), At(L"TsRun", 61)},  // in strstr, called from line 52
        {kRuntime, At(L"Rebuild", 52), At(L"TsRun", 61)},
        {kSystem},  // nowhere in the plugin: counts in the whole, for no line
    };
    const std::vector<LineShare> lines = LinesOf(samples, L"LINES.DLL", 16);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].line, 52u);
    EXPECT_DOUBLE_EQ(lines[0].share, 0.5);
    EXPECT_EQ(lines[1].line, 51u);
    EXPECT_DOUBLE_EQ(lines[1].share, 0.25);
    EXPECT_EQ(lines[0].function, L"Rebuild");
    EXPECT_EQ(LinesOf(samples, L"lines.dll", 1).size(), 1u);
    // Equal shares keep the order of the source.
    const std::vector<LineShare> even =
        LinesOf({{At(L"F", 9)}, {At(L"F", 3)}, {At(L"F", 5)}}, L"lines.dll", 16);
    ASSERT_EQ(even.size(), 3u);
    EXPECT_EQ(even[0].line, 3u);
    EXPECT_EQ(even[2].line, 9u);
}

TEST(CodeSamples, AHangNamesTheLinesOfItsBusiestFunctionAndItsCaller) {
    const SampledStack outer{At(L"WaitForever", 42), At(L"WaitForever", 40), At(L"TsRun", 61)};
    const std::vector<SampledStack> samples = {
        outer,
        {kSystem, At(L"WaitForever", 43), At(L"TsRun", 61)},
        {At(L"WaitForever", 42), At(L"TsRun", 61)},
        {At(L"Setup", 30), At(L"TsRun", 60)},
    };
    const HangPlace place = PlaceOf(samples, L"lines.dll");
    EXPECT_EQ(place.samples, 4u);
    // A recursive frame of the same function is no caller.
    EXPECT_EQ(HangWords(place), L"hängt in lines.c:42\u201343 (WaitForever, aufgerufen aus TsRun)");
    EXPECT_EQ(HangPlaceWords(place),
              L" und hängt in lines.c:42\u201343 (WaitForever, aufgerufen aus TsRun)");
    EXPECT_TRUE(HangLinesHint(place).empty());
    // The stack shown is a sample at the busiest line.
    ASSERT_FALSE(place.stack.empty());
    EXPECT_EQ(place.stack.front().line, 42u);

    const HangPlace one = PlaceOf({{At(L"Spin", 12)}}, L"lines.dll");
    EXPECT_EQ(HangWords(one), L"hängt in lines.c:12 (Spin)");
}

TEST(CodeSamples, WithoutLinesOrPluginFramesTheWordsSayWhatIsKnown) {
    // No debug information: the function by its extent, and the hint.
    const HangPlace bare = PlaceOf({{At(L"TsRun", 0)}, {At(L"TsRun", 0)}}, L"lines.dll");
    EXPECT_EQ(HangWords(bare), L"hängt in lines.dll!TsRun");
    EXPECT_FALSE(HangLinesHint(bare).empty());
    // No sample in the plugin: nothing is claimed about it.
    const HangPlace elsewhere = PlaceOf({{kSystem}, {kRuntime}}, L"lines.dll");
    EXPECT_TRUE(elsewhere.lines.empty());
    EXPECT_EQ(HangWords(elsewhere), L"");
    EXPECT_EQ(HangPlaceWords(elsewhere), L"");
    EXPECT_EQ(HangLinesHint(elsewhere), L"");
    EXPECT_EQ(HangWords(PlaceOf({}, L"lines.dll")), L"");
}

TEST(CodeSamples, HotSpotsNameTheLinesThatMakeUpMostOfTheTime) {
    std::vector<SampledStack> samples(93, SampledStack{kRuntime, At(L"Rebuild", 51)});
    samples.insert(samples.end(), 7, SampledStack{At(L"TsRun", 61)});
    EXPECT_EQ(HotspotWords(LinesOf(samples, L"lines.dll", 16)),
              L"93 % der Zeit in lines.c:51 (Rebuild)");
    // Spread: lines are named until they make up half of the time, three at most.
    std::vector<SampledStack> spread;
    for (std::uint32_t line = 1; line <= 10; ++line)
        spread.insert(spread.end(), 11 - line, SampledStack{At(L"Walk", line)});
    EXPECT_EQ(HotspotWords(LinesOf(spread, L"lines.dll", 16)),
              L"18 % der Zeit in lines.c:1 (Walk), 16 % in lines.c:2 (Walk), "
              L"15 % in lines.c:3 (Walk)");
    EXPECT_EQ(HotspotWords({}), L"");
}

}  // namespace
}  // namespace dllscope
