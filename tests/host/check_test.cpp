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
        {L"PluginRun", L"Zugriffsverletzung", 0xC0000005, L"x.dll+0x10", L"..."});
    hung.hung = true;
    EXPECT_EQ(CheckExitCode({good, good}), 0);
    EXPECT_EQ(CheckExitCode({good, faulty}), 1);
    EXPECT_EQ(CheckExitCode({faulty, hung}), 3);
    PluginReport noPlugin;
    noPlugin.diagnosis = L"leer";
    EXPECT_EQ(CheckExitCode({noPlugin}), 1);
}

}  // namespace
}  // namespace dllscope
