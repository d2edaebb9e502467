// dllscope-check's command line and report, without Windows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "check/check_cases.h"
#include "checker/check_options.h"
#include "check/check_report.h"
#include "checker/check_session.h"
#include "checker/json_report.h"
#include "check/judge.h"
#include "checker/junit_report.h"
#include "common/paths.h"
#include "common/utf8.h"

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
    EXPECT_EQ(*o->settings.text, L"<p>");
    EXPECT_EQ(*o->settings.expectType, -1);
    EXPECT_EQ(o->settings.repeat, 5);
    EXPECT_EQ(o->timeoutSeconds, 2);
    EXPECT_TRUE(o->json && o->settings.runTypeZero);
    EXPECT_EQ(o->plugins, (std::vector<std::wstring>{L"a.dll", L"c.dll"}));

    EXPECT_FALSE(Parse({L"a.dll", L"--repeat"}, error));
    EXPECT_THAT(error, HasSubstr(L"--repeat fehlt ihr Wert"));
    EXPECT_FALSE(Parse({L"--timeout", L"0", L"a.dll"}, error));
    EXPECT_THAT(error, HasSubstr(L"von 1 bis 86400"));
    EXPECT_FALSE(Parse({L"--repeat", L"3x", L"a.dll"}, error));
    EXPECT_FALSE(Parse({L"--text", L"x", L"--input", L"f", L"a.dll"}, error));
    EXPECT_FALSE(Parse({L"--json"}, error));
    EXPECT_THAT(error, HasSubstr(L"kein Plugin"));
    // --jobs: 1 unless given, 0 for one per core; side by side needs hosts.
    EXPECT_EQ(Parse({L"a.dll"}, error)->jobs, 1);
    EXPECT_EQ(Parse({L"--jobs", L"0", L"a.dll"}, error)->jobs, 0);
    EXPECT_FALSE(Parse({L"--jobs", L"65", L"a.dll"}, error));
    EXPECT_TRUE(Parse({L"--jobs", L"1", L"--in-process", L"a.dll"}, error));
    EXPECT_FALSE(Parse({L"--jobs", L"2", L"--in-process", L"a.dll"}, error));
    EXPECT_THAT(error, HasSubstr(L"nicht mit --in-process"));
    // --max-growth: the growths' own names, and only with a profile to judge.
    EXPECT_EQ(Parse({L"--profile", L"--max-growth", L"nlogn", L"a.dll"}, error)->settings.maxGrowth,
              "n log n");
    EXPECT_FALSE(Parse({L"--profile", L"--max-growth", L"kubisch", L"a.dll"}, error));
    EXPECT_THAT(error, HasSubstr(L"kennt linear, nlogn und quadratisch, nicht \u201Ekubisch"));
    EXPECT_FALSE(Parse({L"--max-growth", L"linear", L"a.dll"}, error));
    EXPECT_THAT(error, HasSubstr(L"--max-growth braucht --profile"));
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
        flat.push_back(
            {100 + (i < 10 ? i * 3 : 27) + (i == 30 ? 1 : 0), (i < 10 ? i * 512 : 4608) * 1024LL});
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

// JUnit for CI: the counts agree with the cases, a fault is a failure and a
// hang an error, a message with quotes stays inside its attribute.
TEST(JUnit, CountsKindsAndEscapesAndAnEmptyCheckIsStillADocument) {
    EXPECT_EQ(JUnitReport({}, false),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites "
              "name=\"dllscope-check\">\n</testsuites>\n");
    // A check stopped before its end says why, as an error of its own.
    EXPECT_THAT(JUnitReport({}, false, L"Den Ordner \"x\" gibt es nicht."),
                HasSubstr("tests=\"1\" failures=\"0\" errors=\"1\" skipped=\"0\" time=\"0.000\">\n"
                          "    <testcase classname=\"dllscope-check\" name=\"Prüfung\" "
                          "time=\"0.000\">\n      <error message=\"Den Ordner &quot;x&quot; gibt "
                          "es nicht.\"></error>"));
    PluginReport r;
    r.file = L"x.dll";
    r.problems.push_back(L"Der Export \"TsBackvalue\" fehlt");
    r.cases = {{L"a.html", false, Verdict::Passed, 0, 0, 0, L"", L""},
               {L"b.html", false, Verdict::Failed, 0, 0, 0, L"Absturz", L""},
               {L"c.html", false, Verdict::Hang, 0, 0, 0, L"h\u00e4ngt", L""}};
    const std::string xml = JUnitReport({r}, false);
    EXPECT_THAT(xml, HasSubstr("tests=\"4\" failures=\"2\" errors=\"1\""));
    EXPECT_THAT(xml, HasSubstr("<failure message=\"Der Export &quot;TsBackvalue&quot; fehlt\">"));
    EXPECT_THAT(xml, HasSubstr("name=\"Fall b.html\" time=\"0.000\">\n      <failure "));
    EXPECT_THAT(xml, HasSubstr("name=\"Fall c.html\" time=\"0.000\">\n      <error "));
    // What the plugin printed is its text: escaped like every other.
    r.pluginOutput = PluginOutput{L"<b>&</system-out>\x01", 20};
    EXPECT_THAT(
        JUnitReport({r}, false),
        HasSubstr("<system-out>&lt;b&gt;&amp;&lt;/system-out&gt;\xEF\xBF\xBD</system-out>"));
}

// The cases of a folder: each page with its expected page, however the
// name's case is written (the file system finds it so too); in the order of
// their names' code units.
TEST(CheckCases, PagesAreFoundWithTheirExpectedPagesInOrder) {
    const std::vector<CaseFiles> found =
        FindCases(L"F", {L"Zwei.htm", L"Seite.Expected.HTML", L"notiz.md", L"eins.txt",
                         L"Seite.html", L"eins.expected.txt"});
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].name, L"Seite.html");
    EXPECT_EQ(found[0].input, L"F\\Seite.html");
    EXPECT_EQ(LowerName(found[0].expected), L"f\\seite.expected.html");
    EXPECT_EQ(found[1].name, L"Zwei.htm");
    EXPECT_EQ(found[1].expected, L"");
    EXPECT_EQ(found[2].expected, L"F\\eins.expected.txt");
}

TEST(CheckCases, TheStressInputsAreTheElevenAuthorsForget) {
    const std::vector<StressInput> inputs = StressInputs();
    std::vector<std::wstring> names;
    for (const StressInput& s : inputs) names.push_back(s.name);
    EXPECT_THAT(names, ::testing::ElementsAre(L"leer.html", L"ein-zeichen.html", L"10-mb.html",
                                              L"nur-lf.html", L"nur-cr.html",
                                              L"gemischte-umbrueche.html", L"ausserhalb-ansi.html",
                                              L"unausgeglichen.html", L"10000-ebenen.html",
                                              L"eine-zeile-1-mb.html", L"nur-entities.html"));
    EXPECT_TRUE(inputs[0].text.empty());
    EXPECT_EQ(inputs[1].text.size(), 1u);
    EXPECT_GE(inputs[2].text.size(), 10u * 1000 * 1000);
    EXPECT_EQ(inputs[3].text.find(L'\r'), std::wstring::npos);
    EXPECT_EQ(inputs[4].text.find(L'\n'), std::wstring::npos);
    EXPECT_EQ(inputs[9].text.find(L'\n'), std::wstring::npos);
    EXPECT_GE(inputs[9].text.size(), 1000u * 1000);
}

// A handle every second cycle is a leak; the warm-up is at least one cycle
// even in a short series.
TEST(CheckLeaks, AHandleEverySecondCycleLeaksAndShortSeriesKeepAWarmUp) {
    std::vector<CycleUsage> everySecond;
    for (int i = 0; i < 20; ++i) everySecond.push_back({100 + i / 2, 1 << 20, 1000});
    ASSERT_EQ(JudgeGrowth(everySecond, {}, false).size(), 1u);
    const std::vector<CycleUsage> four{
        {100, 1 << 20, 1000}, {101, 1 << 20, 1000}, {102, 1 << 20, 1000}, {103, 1 << 20, 1000}};
    const std::vector<CheckLeak> leaks = JudgeGrowth(four, {}, false);
    ASSERT_EQ(leaks.size(), 1u);
    EXPECT_EQ(leaks[0].cycles, 3);
    EXPECT_EQ(leaks[0].growth, 3);
    // A TLS index every second cycle runs the process out of them as surely.
    std::vector<CycleUsage> tls;
    for (int i = 0; i < 20; ++i) tls.push_back({100, 1 << 20, 1000 - i / 2});
    const std::vector<CheckLeak> slots = JudgeGrowth(tls, {}, false);
    ASSERT_EQ(slots.size(), 1u);
    EXPECT_EQ(slots[0].what, L"TLS-Indizes");
}

// Committed memory grows in steps of 64 KiB: less in all is no leak, however
// many cycles share it; 4 KiB in each of 40 steady cycles is.
TEST(CheckLeaks, PrivateMemoryLeaksOnlyFrom64KiBInAll) {
    std::vector<CycleUsage> few, many;
    for (int i = 0; i < 12; ++i) few.push_back({100, (1000 + 4 * i) * 1024LL, 1000});
    for (int i = 0; i < 50; ++i) many.push_back({100, (1000 + 4 * i) * 1024LL, 1000});
    EXPECT_TRUE(JudgeGrowth(few, {}, false).empty());
    const std::vector<CheckLeak> leaks = JudgeGrowth(many, {}, false);
    ASSERT_EQ(leaks.size(), 1u);
    EXPECT_EQ(leaks[0].perCycle, L"4 KiB je Zyklus");
}

// The heaps' bytes in use, to the byte: a steady growth is a leak of its
// amount, however small; a one-off step after the warm-up is none, nor is
// committed memory that the heaps' growth explains.
std::vector<CycleUsage> HeapSeries(int cycles, long long perCycle, long long stepAt = -1) {
    std::vector<CycleUsage> series;
    for (int i = 0; i < cycles; ++i) {
        CycleUsage u{100, (9000 + (i >= cycles / 2 ? 64 : 0)) * 1024LL, 1000};
        u.heapBytes = 400000 + perCycle * i + (stepAt >= 0 && i >= stepAt ? 70000 : 0);
        u.heaps = 3;
        series.push_back(u);
    }
    return series;
}

TEST(CheckLeaks, TheHeapsBytesInUseLeakToTheByteAndAStepIsNone) {
    for (const int cycles : {12, 20, 25, 50}) {
        const std::vector<CheckLeak> kib = JudgeGrowth(HeapSeries(cycles, 1024), {}, false);
        ASSERT_EQ(kib.size(), 1u) << cycles;
        EXPECT_EQ(kib[0].what, L"Heap-Bytes in Benutzung");
        EXPECT_EQ(kib[0].perCycle, L"1 KiB je Zyklus");
        EXPECT_EQ(kib[0].growth, 1024LL * kib[0].cycles);
        EXPECT_TRUE(JudgeGrowth(HeapSeries(cycles, 0, cycles * 2 / 3), {}, false).empty());
    }
    EXPECT_EQ(JudgeGrowth(HeapSeries(20, 300), {}, false)[0].perCycle, L"300 Bytes je Zyklus");
    EXPECT_EQ(JudgeGrowth(HeapSeries(20, 1536), {}, false)[0].perCycle, L"1,5 KiB je Zyklus");
    // Committed memory the heaps do not explain is a leak of its own.
    std::vector<CycleUsage> taken = HeapSeries(50, 0);
    for (int i = 0; i < 50; ++i) taken[i].privateBytes += 512 * 1024LL * i;
    const std::vector<CheckLeak> both = JudgeGrowth(taken, {}, false);
    ASSERT_EQ(both.size(), 1u);
    EXPECT_EQ(both[0].perCycle, L"513,6 KiB je Zyklus");
    // A heap made in each cycle.
    std::vector<CycleUsage> made = HeapSeries(20, 0);
    for (int i = 0; i < 20; ++i) made[i].heaps += i;
    EXPECT_EQ(JudgeGrowth(made, {}, false)[0].perCycle,
              L"1 Heap je Zyklus (HeapCreate ohne HeapDestroy)");
}

// winpthreads' record of the loading thread (32 bits): the same few
// hundred bytes in every cycle are a note, not the plugin's leak; anything
// that differs from cycle to cycle, or more, stays a leak.
TEST(CheckLeaks, TheThreadRecordOfWinpthreadsIsANoteAndNothingElseIs) {
    std::vector<CheckLeak> leaks = JudgeGrowth(HeapSeries(20, 224), {}, false);
    const std::wstring note = TakeThreadRecordResidue(HeapSeries(20, 224), leaks);
    EXPECT_TRUE(leaks.empty());
    EXPECT_THAT(note, HasSubstr(L"genau 224 Bytes"));
    std::vector<CycleUsage> uneven = HeapSeries(20, 224);
    for (int i = 15; i < 20; ++i) uneven[i].heapBytes += 224;
    leaks = JudgeGrowth(uneven, {}, false);
    EXPECT_EQ(TakeThreadRecordResidue(uneven, leaks), L"");
    ASSERT_EQ(leaks.size(), 1u);
    leaks = JudgeGrowth(HeapSeries(20, 1024), {}, false);
    EXPECT_EQ(TakeThreadRecordResidue(HeapSeries(20, 1024), leaks), L"");
    EXPECT_EQ(leaks.size(), 1u);
    EXPECT_TRUE(LinksWinpthreadsStatically(std::string("..\0/winpthreads/src/thread.c", 28)));
    EXPECT_FALSE(LinksWinpthreadsStatically("winpthreads libwinpthread-1.dll"));
}

// In the checker's own process its work moves the heaps: a leak counts from
// 1 KiB a cycle there and says that it was measured roughly.
TEST(CheckLeaks, InTheCheckersProcessOnlyAKibibyteACycleCountsAndSaysSo) {
    EXPECT_TRUE(JudgeGrowth(HeapSeries(20, 600), {}, false, true).empty());
    const std::vector<CheckLeak> leaks = JudgeGrowth(HeapSeries(20, 4096), {}, false, true);
    ASSERT_EQ(leaks.size(), 1u);
    EXPECT_EQ(leaks[0].perCycle, L"4 KiB je Zyklus");
    EXPECT_THAT(leaks[0].hint, HasSubstr(L"--in-process"));
}

// Brackets and braces outside strings balance, and nothing follows the end.
void ExpectWholeDocument(const std::string& out) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const char c = out[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') inString = true;
        if (c == '{' || c == '[') ++depth;
        if (c == '}' || c == ']') --depth;
        ASSERT_TRUE(depth > 0 || out.find_first_not_of(" \r\n", i + 1) == std::string::npos) << out;
    }
    EXPECT_EQ(depth, 0) << out;
}

// A hang closes the report where it stands: still one whole JSON document,
// with where the call was found.
TEST(CheckSession, AReportClosedEarlyIsStillAWholeDocument) {
    CheckOptions options;
    options.json = true;
    std::string out;
    CheckSession session(options, [&out](const std::string& bytes) { out += bytes; });
    session.Begin(L"1.0", 64, L"C:\\b\\modbridge.dll");
    session.Check(L"a.dll", [](PluginReport& r) { r.code = 1; });
    std::optional<int> code;
    const StackFrame spin{L"b.dll", L"Spin", L"C:\\src\\b.c", 12, L"b.dll+0x10", 0};
    const StackFrame run{L"b.dll", L"TsRun", L"C:\\src\\b.c", 20, L"b.dll+0x40", 0};
    const HangPlace place = PlaceOf({{spin, run}, {spin, run}}, L"b.dll");
    session.Check(L"b.dll", [&](PluginReport&) {
        code =
            session.Hung(ForeignCall::Export(L"Das Plugin", L"b.dll", L"PluginRun"), 30000, place);
    });
    EXPECT_EQ(code, 3);
    ExpectWholeDocument(out);
    EXPECT_THAT(out, HasSubstr("\"file\":\"b.dll\""));
    EXPECT_THAT(out, HasSubstr("nicht zur\xC3\xBC"
                               "ckgekehrt und h\xC3\xA4ngt in b.c:12 (Spin, "
                               "aufgerufen aus TsRun)"));
    EXPECT_THAT(out, HasSubstr("\"hang\":{\"call\":\"PluginRun\",\"seconds\":30.0,\"stack\":[{"
                               "\"module\":\"b.dll\",\"function\":\"Spin\""));
    EXPECT_THAT(out, HasSubstr("\"lines\":[{\"file\":\"C:\\\\src\\\\b.c\",\"line\":12,"
                               "\"function\":\"Spin\",\"place\":\"b.dll+0x10\",\"share\":1.0}]"));
    EXPECT_THAT(out, HasSubstr("{\"file\":\"a.dll\"")) << out;
}

// A plugin's report that memory cannot hold (or that cannot go out) is
// said by a brief one, and the JUnit report by the plugins' brief ones:
// every document stays whole and the plugin fails.
TEST(CheckSession, AReportTooLargeForMemoryIsSaidBrieflyAndTheDocumentStaysWhole) {
    CheckOptions options;
    options.json = true;
    std::string out, junit;
    CheckSession session(options, [&out](const std::string& bytes) {
        if (bytes.size() > 10000) throw std::bad_alloc();
        out += bytes;
    });
    session.WriteJUnitWith([&junit](const std::string& xml) {
        if (xml.size() > 10000) throw std::bad_alloc();
        junit = xml;
        return true;
    });
    session.Begin(L"1.0", 64, L"C:\\b\\modbridge.dll");
    session.Check(L"a.dll", [](PluginReport& r) { r.output = std::wstring(50000, L'x'); });
    session.Check(L"b.dll", [](PluginReport& r) { r.code = 1; });
    EXPECT_EQ(session.End(), 1);
    ExpectWholeDocument(out);
    EXPECT_THAT(out, HasSubstr("\"file\":\"a.dll\""));
    EXPECT_THAT(out, HasSubstr("Der Bericht \xC3\xBC"
                               "ber dieses Plugin konnte nicht ausgegeben "
                               "werden"));
    EXPECT_THAT(out, HasSubstr("\"file\":\"b.dll\""));
    EXPECT_THAT(out, HasSubstr("\"passed\":1,\"failed\":1,"));
    // The JUnit report, too big whole: the plugins' brief reports.
    CheckSession large(options, [](const std::string&) {});
    large.WriteJUnitWith([&junit](const std::string& xml) {
        if (xml.size() > 3000) throw std::bad_alloc();
        junit = xml;
        return true;
    });
    large.Check(L"c.dll", [](PluginReport& r) {
        for (int i = 0; i < 100; ++i) r.problems.push_back(std::wstring(100, L'p'));
    });
    EXPECT_EQ(large.End(), 1);
    EXPECT_THAT(junit, HasSubstr("name=\"c.dll\""));
    EXPECT_THAT(junit, HasSubstr("konnte nicht ausgegeben werden"));
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
    // They part at the line break itself: still the first line.
    ASSERT_TRUE(FirstDifference("ab\ncd\n", "abX\ncd\n", d));
    EXPECT_EQ(d.line, 1u);
    EXPECT_EQ(d.byte, 2u);
    EXPECT_EQ(d.expected, "ab");
    EXPECT_EQ(d.actual, "abX");
}

}  // namespace
}  // namespace dllscope

namespace dllscope {
namespace {

// What a plugin returns may be any sequence of UTF-16 units: each unit that
// is no part of a pair becomes one U+FFFD, and nothing else is lost.
TEST(ReportText, UnpairedSurrogatesBecomeOneReplacementEach) {
    const std::string fffd = "\xEF\xBF\xBD";
    const std::wstring high(1, static_cast<wchar_t>(0xD83D)), low(1, static_cast<wchar_t>(0xDE00));
    EXPECT_EQ(ToUtf8(L"a" + high + L"b"), "a" + fffd + "b");          // lone high
    EXPECT_EQ(ToUtf8(L"a" + low + L"b"), "a" + fffd + "b");           // lone low
    EXPECT_EQ(ToUtf8(low + high), fffd + fffd);                       // reversed pair
    EXPECT_EQ(ToUtf8(L"ok" + high), "ok" + fffd);                     // trailing high
    EXPECT_EQ(ToUtf8(high + high + low), fffd + "\xF0\x9F\x98\x80");  // a pair after a lone one
    EXPECT_EQ(ToUtf8(high + low), "\xF0\x9F\x98\x80");
    if (sizeof(wchar_t) == 4) {  // code points: none above U+10FFFF
        EXPECT_EQ(ToUtf8(std::wstring(1, static_cast<wchar_t>(0x110000))), fffd);
    }
}

TEST(ReportText, XmlTakesEveryTextAndGivesWhatXmlAllows) {
    EXPECT_EQ(XmlText("<a href=\"x\">&</a>\t\r\n"),
              "&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt;\t\r\n");
    // C0 controls, U+FFFE and U+FFFF are no XML characters; U+FFFD and the
    // characters around them stay.
    EXPECT_EQ(XmlText("a\x01"
                      "b\x1B"
                      "c\xEF\xBF\xBF"
                      "d\xEF\xBF\xBE"
                      "e\xEF\xBF\xBD"
                      "\xEF\xBC\xA1"),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD"
              "c\xEF\xBF\xBD"
              "d\xEF\xBF\xBD"
              "e\xEF\xBF\xBD"
              "\xEF\xBC\xA1");
    // As the very last character too.
    EXPECT_EQ(XmlText("a\xEF\xBF\xBF"), "a\xEF\xBF\xBD");
    EXPECT_EQ(XmlText("\xEF\xBF\xBE"), "\xEF\xBF\xBD");
}

// No text a plugin supplies can start a line of the report for people: not
// a verdict, not a workflow command of a CI service.
TEST(ReportText, NothingAPluginSaysStartsALineOfTheReport) {
    const std::wstring forged = L"x\n  => bestanden\r\n::error title=OK::y\r::warning::z\x1B[2J";
    PluginReport r;
    r.file = L"boese.dll";
    r.code = 1;
    r.name = forged;
    r.description = forged;
    r.problems.push_back(L"Das Ergebnis weicht ab:\n    erhalten: " + forged);
    r.warnings.push_back(forged);
    r.faults.push_back({L"PluginRun", L"Zugriffsverletzung", 0xC0000005, L"", forged, L""});
    // Debug information is the plugin's too: its names and paths are its texts.
    const StackFrame frame{L"boese.dll", forged, L"/src/" + forged, 7, L"boese.dll+0x10", 0};
    r.faults.back().stack.assign(4, frame);
    r.cases.push_back({forged, false, Verdict::Failed, 1, 1, 1, forged, L"-a\n+" + forged});
    r.pluginOutput = PluginOutput{forged, forged.size()};
    const std::wstring text = PluginText(r);
    std::size_t verdicts = 0, at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find(L'\n', at);
        std::wstring line = text.substr(at, end - at);
        at = end + 1;
        EXPECT_EQ(line.find(L'\r'), std::wstring::npos) << "a carriage return in: " << line.size();
        EXPECT_EQ(line.find(L'\x1B'), std::wstring::npos);
        line.erase(0, line.find_first_not_of(L" \t"));
        EXPECT_NE(line.rfind(L"::", 0), 0u) << ToUtf8(line);
        verdicts += line.rfind(L"=>", 0) == 0;
    }
    EXPECT_EQ(verdicts, 1u);
    EXPECT_THAT(ToUtf8(text), HasSubstr("Name: x\\n  => bestanden\\r\\n::error title=OK::y"));
    EXPECT_THAT(ToUtf8(text), HasSubstr("    | ::error title=OK::y\n"));
    EXPECT_THAT(ToUtf8(text), HasSubstr("\\x1B[2J"));
    EXPECT_THAT(ToUtf8(text), HasSubstr("    Aufrufstapel:\n      "));
}

// The report for people says each thing once: why a DLL is no plugin, the
// runtime's hint, how many cases passed.
TEST(ReportText, SaysEachThingOnce) {
    PluginReport none;
    none.file = L"x.dll";
    none.code = -1;
    none.diagnosis = none.description = L"Kein Tagsmith-Plugin: der Export fehlt.";
    const std::wstring noneText = PluginText(none);
    EXPECT_EQ(noneText.find(L"der Export fehlt"), noneText.rfind(L"der Export fehlt"));
    EXPECT_EQ(noneText.find(L"Rückgabetyp"), std::wstring::npos);

    PluginReport leaky;
    leaky.file = L"y.dll";
    leaky.leaks = {{L"Handles", 80, 40, L"2 Handles je Zyklus", L"Hinweis"},
                   {L"TLS-Indizes", 40, 40, L"1 TLS-Index je Zyklus", L"Hinweis"}};
    leaky.cases = {{L"a.html", false, Verdict::Passed, 0, 0, 0, L"", L""},
                   {L"leer.html", true, Verdict::Failed, 0, 0, 0, L"", L""}};
    const std::wstring leakyText = PluginText(leaky);
    EXPECT_EQ(leakyText.find(L"Hinweis"), leakyText.rfind(L"Hinweis"));
    EXPECT_THAT(ToUtf8(leakyText), HasSubstr("Stress „leer.html“: nicht bestanden"));
    EXPECT_THAT(ToUtf8(leakyText), HasSubstr("Fälle: 1 von 2 bestanden\n"));
    EXPECT_EQ(CasesSummary({none, leaky, leaky}), L"Fälle: 2 von 4 bestanden");
}

}  // namespace
}  // namespace dllscope
