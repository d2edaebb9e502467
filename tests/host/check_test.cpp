// dllscope-check's command line and report, without Windows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "check/check_options.h"
#include "check/check_report.h"

namespace dllscope {
namespace {

using ::testing::HasSubstr;

std::optional<CheckOptions> Parse(std::vector<std::wstring> args, std::wstring& error) {
    return ParseCheckArguments(args, error);
}

TEST(CheckOptions, ReadsEveryOptionAndRefusesWhatIsWrongSayingWhy) {
    std::wstring error;
    const auto o =
        Parse({L"--bridge", L"b.dll", L"--text", L"<p>", L"--expect-type", L"-1", L"--repeat", L"5",
               L"--timeout", L"2", L"--json", L"--run-type-0", L"a.dll", L"c.dll"},
              error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->bridge, L"b.dll");
    EXPECT_EQ(*o->text, L"<p>");
    EXPECT_EQ(*o->expectType, -1);
    EXPECT_EQ(o->repeat, 5);
    EXPECT_EQ(o->timeoutSeconds, 2);
    EXPECT_TRUE(o->json && o->runTypeZero);
    EXPECT_EQ(o->plugins, (std::vector<std::wstring>{L"a.dll", L"c.dll"}));

    EXPECT_FALSE(Parse({L"a.dll", L"--repeat"}, error));
    EXPECT_THAT(error, HasSubstr(L"--repeat fehlt ihr Wert"));
    EXPECT_FALSE(Parse({L"--timeout", L"0", L"a.dll"}, error));
    EXPECT_THAT(error, HasSubstr(L"von 1 bis 86400"));
    EXPECT_FALSE(Parse({L"--repeat", L"3x", L"a.dll"}, error));
    EXPECT_FALSE(Parse({L"--text", L"x", L"--input", L"f", L"a.dll"}, error));
    EXPECT_FALSE(Parse({L"--json"}, error));
    EXPECT_THAT(error, HasSubstr(L"kein Plugin"));
}

TEST(CheckReport, JsonEscapesAndEncodesAsUtf8) {
    EXPECT_EQ(JsonString(L"a\"b\\c\r\n\x01 \u00e4\u20ac"),
              "\"a\\\"b\\\\c\\u000d\\u000a\\u0001 \xC3\xA4\xE2\x82\xAC\"");
    PluginReport r;
    r.file = L"x.dll";
    r.code = 7;
    const std::string json = PluginJson(r);
    EXPECT_THAT(json, HasSubstr("\"returnType\":{\"code\":7,\"words\":null}"));
    EXPECT_THAT(json, HasSubstr("\"verdict\":\"passed\""));
}

TEST(CheckReport, TheExitCodeIsZeroOnlyWhenEveryPluginPassed) {
    PluginReport good, faulty, hung;
    faulty.faults.push_back(
        {L"PluginRun", L"Zugriffsverletzung", 0xC0000005, L"x.dll+0x10", L"...", L""});
    hung.hung = true;
    EXPECT_EQ(CheckExitCode({good, good}), 0);
    EXPECT_EQ(CheckExitCode({good, faulty}), 1);
    EXPECT_EQ(CheckExitCode({faulty, hung}), 3);
    PluginReport noPlugin;
    noPlugin.diagnosis = L"leer";
    EXPECT_EQ(CheckExitCode({noPlugin}), 1);
}

TEST(CheckLeaks, OnlySteadyGrowthAfterTheWarmUpIsALeakAndItIsSaidPerCycle) {
    // 50 cycles, 10 of warm-up: growth in the warm-up and a handle now and
    // then are no leak; 2 handles and 70 KiB in every cycle are.
    std::vector<CycleUsage> flat, steady;
    for (int i = 0; i < 50; ++i) {
        flat.push_back({100 + (i < 10 ? i * 3 : 27) + (i == 30 ? 1 : 0),
                        (i < 10 ? i * 512 : 4608) * 1024LL});
        steady.push_back({100 + 2 * i, (1000 + 70 * i) * 1024LL, 1000 - i});
    }
    EXPECT_EQ(WarmUpCycles(50), 10);
    EXPECT_TRUE(JudgeGrowth(flat, {}, true).empty());
    std::vector<std::wstring> types;
    for (int i = 0; i < 40; ++i) types.insert(types.end(), {L"Event", L"Thread"});
    const std::vector<CheckLeak> leaks = JudgeGrowth(steady, types, true);
    ASSERT_EQ(leaks.size(), 3u);
    EXPECT_EQ(leaks[0].perCycle, L"2 Handles (Ereignis, Thread) je Zyklus");
    EXPECT_EQ(leaks[1].perCycle,
              L"1 TLS-Index je Zyklus; nach etwa 951 weiteren Ladevorgängen hat der Prozess "
              L"keinen mehr");
    EXPECT_EQ(leaks[2].perCycle, L"70 KiB je Zyklus");
    EXPECT_EQ(leaks[0].growth, 80);
    EXPECT_THAT(leaks[0].hint, HasSubstr(L"TsReleaseRuntime"));
    // Another runtime or another kind of handle: no hint that would mislead.
    EXPECT_EQ(JudgeGrowth(steady, types, false)[0].hint, L"");
    EXPECT_EQ(JudgeGrowth(steady, std::vector<std::wstring>(80, L"File"), true)[0].hint, L"");
}

TEST(CheckReport, Utf16ResultsAndTheFirstDifferingLineAreFound) {
    EXPECT_TRUE(LooksLikeUtf16(std::wstring(L"<\0p\0>\0x\0", 8)));
    EXPECT_FALSE(LooksLikeUtf16(L"<p>Gr\u00fc\u00dfe</p>"));
    EXPECT_FALSE(LooksLikeUtf16(std::wstring(L"a\0", 2)));  // one NUL is no pattern

    Difference d;
    EXPECT_FALSE(FirstDifference("a\r\nb", "a\r\nb", d));
    ASSERT_TRUE(FirstDifference("<p>\r\n<b>eins</b>\r\n", "<p>\r\n<b>zwei</b>\r\n", d));
    EXPECT_EQ(d.line, 2u);
    EXPECT_EQ(d.byte, 8u);
    EXPECT_EQ(d.expected, "<b>eins</b>");
    EXPECT_EQ(d.actual, "<b>zwei</b>");
    ASSERT_TRUE(FirstDifference("a\nb", "a\n", d));  // one ends early
    EXPECT_EQ(d.line, 2u);
    EXPECT_EQ(d.actual, "");
}

}  // namespace
}  // namespace dllscope
