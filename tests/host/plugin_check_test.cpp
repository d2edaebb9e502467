// The checker's check of one plugin on the shared plugin cycle, with the
// fakes that test Form1's commands and a machine of files in memory.
#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "check/plugin_check.h"
#include "fakes.h"

namespace dllscope::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class FakeCheckSystem : public CheckSystem {
  public:
    std::map<std::wstring, std::string> files;
    std::vector<CycleUsage> usage;  // one a cycle, in turn
    std::size_t nextUsage = 0;

    bool ReadFile(const std::wstring& path, std::string& bytes) override {
        const auto found = files.find(path);
        if (found == files.end()) return false;
        bytes = found->second;
        return true;
    }
    bool WriteFile(const std::wstring& path, const std::string& bytes) override {
        files[path] = bytes;
        return true;
    }
    std::wstring DecodeFile(const std::string& b) override { return {b.begin(), b.end()}; }
    std::string ToAnsi(const std::wstring& t) override { return {t.begin(), t.end()}; }
    std::wstring FromUtf8(const std::string& b) override { return {b.begin(), b.end()}; }
    std::vector<std::wstring> BeyondAnsi(const std::wstring&, std::size_t) override { return {}; }
    std::wstring Passable(const std::wstring& path) override { return path + L"~"; }
    std::wstring ExchangeFilePath() override { return L"T:\\dateiname.txt"; }
    std::wstring WhyNotLoaded(const std::wstring& path) override { return L"fehlt: " + path; }
    bool AsFault(const std::exception&, FaultRecord&) override { return false; }
    double Milliseconds() override { return 0; }
    CycleUsage Usage(bool) override { return usage.at(nextUsage++); }
    std::vector<std::wstring> NewHandleTypes() override { return {L"Event"}; }
    std::vector<std::wstring> strays;  // what StrayProcesses finds after every call
    std::vector<std::wstring> StrayProcesses() override { return strays; }
    std::vector<std::wstring> FileNames(const std::wstring& folder) override {
        std::vector<std::wstring> names;
        for (const auto& [path, bytes] : files)
            if (path.rfind(folder + L"\\", 0) == 0) names.push_back(path.substr(folder.size() + 1));
        return names;
    }
};

class CheckCycle : public ::testing::Test {
  protected:
    PluginReport Check(const wchar_t* plugin = L"C:\\p\\a.dll") {
        PluginCheck check(options, world.libraries, world.bridge, system, L"C:\\p\\modbridge.dll");
        PluginReport report;
        check.Check(plugin, report);
        return report;
    }
    CheckSettings options;
    FakeWorld world;
    FakeCheckSystem system;
};

TEST_F(CheckCycle, RunsTheCycleThatFormOneRunsAndKeepsWhatThePluginSaid) {
    options.text = L"<p>";
    world.bridge.runResult = L"<P>";
    const PluginReport r = Check();
    EXPECT_THAT(world.journal,
                ElementsAre(L"load C:\\p\\modbridge.dll", L"load C:\\p\\a.dll",
                            L"PluginBackvalue C:\\p\\a.dll~", L"PluginName C:\\p\\a.dll~",
                            L"PluginDescription C:\\p\\a.dll~", L"PluginRun <p> | C:\\p\\a.dll~",
                            L"free C:\\p\\a.dll", L"free C:\\p\\modbridge.dll"));
    EXPECT_EQ(*r.code, 1);
    EXPECT_EQ(r.name, L"Name");
    EXPECT_EQ(*r.output, L"<P>");
    ASSERT_EQ(r.runs.size(), 1u);
    EXPECT_EQ(r.runs[0].charactersOut, 3u);
    EXPECT_TRUE(r.Passed());
}

TEST_F(CheckCycle, TypeThreeRunsOnTheExchangeFileAndTheOutputIsWhatItHoldsAfterwards) {
    options.text = L"vorher";
    world.bridge.backvalue = 3;
    options.expectOutput = L"erwartet.html";
    system.files[L"erwartet.html"] = "nachher";
    FakeBridge& bridge = world.bridge;
    FakeCheckSystem& files = system;
    bridge.rewritePath = [&](std::wstring&) {
        EXPECT_EQ(files.files[L"T:\\dateiname.txt"], "vorher");
        files.files[L"T:\\dateiname.txt"] = "nachher!";
    };
    const PluginReport r = Check();
    EXPECT_THAT(world.journal, ::testing::Contains(L"PluginRun T:\\dateiname.txt | C:\\p\\a.dll~"));
    EXPECT_EQ(*r.output, L"nachher!");
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_THAT(r.problems[0], HasSubstr(L"zuerst in Zeile 1 (Byte 7)"));
}

TEST_F(CheckCycle, AFailedLoadIsDiagnosedAndAFailingCallEndsTheCyclesWithNothingFreed) {
    world.libraries.failing[L"C:\\p\\a.dll"] = true;
    world.bridge.backvalue = -1;
    EXPECT_EQ(Check().diagnosis, L"fehlt: C:\\p\\a.dll");

    world.journal.clear();
    world.libraries.failing.clear();
    world.bridge.missing["PluginName"] = true;
    options.repeat = 3;
    const PluginReport r = Check();
    EXPECT_EQ(r.cycles, 0);
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_THAT(r.problems[0], HasSubstr(L"fehlt der Export \u201EPluginName\u201C"));
    EXPECT_THAT(world.journal, ElementsAre(L"load C:\\p\\modbridge.dll", L"load C:\\p\\a.dll",
                                           L"PluginBackvalue C:\\p\\a.dll~"));
}

TEST_F(CheckCycle, SteadyGrowthOverTheCyclesIsALeakAndTheTypeIsChecked) {
    options.repeat = 10;
    options.expectType = 2;
    for (long long i = 0; i < 10; ++i) system.usage.push_back({100 + 2 * i, 1 << 20, 1000});
    const PluginReport r = Check();
    EXPECT_EQ(r.cycles, 10);
    ASSERT_EQ(r.leaks.size(), 1u);
    EXPECT_EQ(r.leaks[0].what, L"Handles");
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_THAT(r.problems[0], HasSubstr(L"Der Rückgabetyp ist 1, erwartet war 2."));

    // The same growth beside a DLL that never loaded is the loader's.
    world.libraries.failing[L"C:\\p\\a.dll"] = true;
    world.bridge.backvalue = -1;
    system.nextUsage = 0;
    EXPECT_THAT(Check().leaks, ::testing::IsEmpty());
}

// A process left running after the calls is a warning, once for each program.
TEST_F(CheckCycle, AProcessThePluginLeftRunningIsWarnedAboutOnce) {
    options.repeat = 3;
    for (long long i = 0; i < 3; ++i) system.usage.push_back({100, 1 << 20, 1000});
    system.strays = {L"helfer.exe", L"helfer.exe"};
    const PluginReport r = Check();
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_THAT(r.warnings[0], HasSubstr(L"\u201Ehelfer.exe\u201C gestartet"));
    EXPECT_TRUE(r.Passed());
}

TEST_F(CheckCycle, AnExportThatBreaksTheCallingConventionFailsTheCheckOnce) {
    options.repeat = 3;
    for (long long i = 0; i < 3; ++i) system.usage.push_back({100, 1 << 20, 1000});
    world.bridge.stackWarning = L"Das Plugin exportiert TsRun als __cdecl";
    const PluginReport r = Check();
    EXPECT_EQ(r.problems, (std::vector<std::wstring>{world.bridge.stackWarning}));
    EXPECT_FALSE(r.Passed());
}

TEST_F(CheckCycle, EachCaseIsARunOfItsOwnComparedWithItsExpectedPageWhenThereIsOne) {
    options.casesFolder = L"F";
    system.files[L"F\\a.html"] = "<p>a";
    system.files[L"F\\a.expected.html"] = "<P>";
    system.files[L"F\\b.htm"] = "<p>b";
    system.files[L"F\\b.expected.htm"] = "eins\r\nzwei\r\n";
    system.files[L"F\\c.txt"] = "<p>c";  // no expected page: passes when it runs
    system.files[L"F\\notiz.md"] = "kein Fall";
    world.bridge.runResult = L"<P>";
    const PluginReport r = Check();
    ASSERT_EQ(r.cases.size(), 3u);
    EXPECT_EQ(r.cases[0].name, L"a.html");
    EXPECT_EQ(r.cases[0].verdict, Verdict::Passed);
    EXPECT_EQ(r.cases[0].charactersIn, 4u);
    EXPECT_EQ(r.cases[1].verdict, Verdict::Failed);
    EXPECT_EQ(r.cases[1].problem, L"Das Ergebnis weicht von \u201Eb.expected.htm\u201C ab.");
    EXPECT_EQ(r.cases[1].diff,
              L"--- b.expected.htm\n+++ Ergebnis\n@@ -1,2 +1,1 @@\n-eins\n-zwei\n+<P>\n"
              L"\\ Kein Zeilenumbruch am Ende\n");
    EXPECT_EQ(r.cases[2].verdict, Verdict::Passed);
    EXPECT_FALSE(r.Passed());
    // Each case ran in a cycle of its own, on its page.
    EXPECT_THAT(world.journal, ::testing::Contains(L"PluginRun <p>b | C:\\p\\a.dll~"));
    EXPECT_EQ(std::count(world.journal.begin(), world.journal.end(), L"load C:\\p\\a.dll"), 4);

    // A plugin of return type 3 runs its cases too.
    world.bridge.backvalue = 3;
    EXPECT_EQ(Check().cases.size(), 3u);
}

// The window's examination follows the fuzzing and the profile and may stop
// them: the run the stop ended is no finding, and nothing runs after it.
TEST_F(CheckCycle, AFollowerSeesTheLongPartsAndItsStopEndsThem) {
    struct Follower : CheckProgress {
        std::vector<std::wstring> stages;
        std::size_t stopAt = 0;
        bool Going(const std::wstring& stage, double) override {
            stages.push_back(stage);
            return stages.size() < stopAt;
        }
    } follower;
    options.fuzzSeconds = 1;  // the fake clock stands still: only the stop ends it
    options.profile = true;
    const auto check = [&] {
        system.usage.assign(8, {100, 1 << 20, 1000});  // after each passing run
        system.nextUsage = 0;
        PluginCheck c(options, world.libraries, world.bridge, system, L"C:\\p\\modbridge.dll");
        c.Follow(follower);
        PluginReport report;
        c.Check(L"C:\\p\\a.dll", report);
        return report;
    };
    follower.stopAt = 4;
    PluginReport r = check();
    ASSERT_TRUE(r.fuzz);
    EXPECT_EQ(r.fuzz->runs, 3u);
    EXPECT_EQ(follower.stages.back(), L"Fuzzing: 3 Läufe, 0 Funde");
    EXPECT_FALSE(r.profile);

    // The third run fails as a call ended by the stop does.
    int runs = 0;
    world.bridge.rewritePath = [&runs](std::wstring&) {
        if (++runs == 4) throw RuntimeError(L"beendet");  // the cycle's own run is the first
    };
    follower.stages.clear();
    r = check();
    EXPECT_EQ(r.fuzz->runs, 3u);
    EXPECT_THAT(r.fuzz->findings, ::testing::IsEmpty());
    EXPECT_TRUE(std::none_of(r.cases.begin(), r.cases.end(),
                             [](const CaseResult& c) { return c.verdict != Verdict::Passed; }));

    // The profile reports its sizes as it goes.
    options.fuzzSeconds = 0;
    world.bridge.rewritePath = nullptr;
    follower.stages.clear();
    follower.stopAt = 3;
    r = check();
    EXPECT_THAT(follower.stages, ElementsAre(L"Profil: Seiten von 16 KiB",
                                             L"Profil: Seiten von 32 KiB",
                                             L"Profil: Seiten von 64 KiB"));
    ASSERT_TRUE(r.profile);
    EXPECT_EQ(r.profile->sizes.size(), 2u);
}

}  // namespace
}  // namespace dllscope::testing
