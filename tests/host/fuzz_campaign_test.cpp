// The fuzzing campaign against a plugin that is a rule about the page: what
// it finds, how it dedupes and shrinks, the leak probe, and the stop.
#include "check/fuzz_campaign.h"
#include "check/guided_mutations.h"

#include <functional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace dllscope {
namespace {

using ::testing::UnorderedElementsAre;

// Each run takes 5 ms of its clock; the handles it holds are what the rule
// leaves behind.
class FakePageRunner : public PageRunner {
  public:
    std::function<CaseResult(const std::wstring&)> rule;
    double now = 0;
    long long handles = 10;
    int runs = 0;
    bool stopped = false;
    std::vector<std::wstring> saved;
    std::size_t marks = 0;  // the marks the runs reached, as MarksReached says
    std::vector<std::wstring> corpus;

    double limit = 0;                // LimitCalls' last word
    std::vector<double> hangLimits;  // the limit of each run that hung

    // A passing run takes 5 ms; a hang, the limit (30 s when none is set).
    CaseResult RunPage(const std::wstring&, const std::wstring& page) override {
        ++runs;
        CaseResult c = rule(page);
        if (c.verdict == Verdict::Hang) hangLimits.push_back(limit);
        c.milliseconds = c.verdict == Verdict::Hang ? (limit > 0 ? limit : 30000) : 5;
        now += c.milliseconds;
        c.charactersIn = page.size();
        return c;
    }
    // A run with the plugin kept loaded: `keptRule` where it differs. As
    // the check's runner, it lets the plugin go after a failing run; a
    // plugin loaded for the run is fresh, and keptRule is not its rule.
    std::function<CaseResult(const std::wstring&)> keptRule;
    int keptRuns = 0, releases = 0;
    bool holding = false;
    CaseResult RunKept(const std::wstring& name, const std::wstring& page, bool& fresh) override {
        ++keptRuns;
        fresh = !holding;
        const auto own = rule;
        if (keptRule && !fresh) rule = keptRule;
        CaseResult c = RunPage(name, page);
        rule = own;
        if (c.verdict == Verdict::Passed) {
            holding = true;
        } else {
            Release();
        }
        return c;
    }
    void Release() override {
        releases += holding;
        holding = false;
    }

    void LimitCalls(double milliseconds) override { limit = milliseconds; }
    std::size_t MarksReached() override { return marks; }
    void KeepInCorpus(const std::wstring& page) override { corpus.push_back(page); }
    CycleUsage Usage(bool) override { return {handles, 1 << 20, 1000, 1 << 20}; }
    std::vector<std::wstring> NewHandleTypes() override { return {L"Event"}; }
    double Milliseconds() override { return now; }
    bool Going(const std::wstring&, double) override { return !stopped; }
    std::wstring SaveFailure(const std::wstring& name, const std::wstring&) override {
        saved.push_back(name);
        return L"F:\\" + name;
    }
};

CaseResult Faulted(const wchar_t* kind, const wchar_t* place) {
    CaseResult c;
    c.verdict = Verdict::Failed;
    c.faultKind = kind;
    c.place = place;
    c.problem = std::wstring(kind) + L" in " + place;
    return c;
}

const std::vector<std::wstring> kSeeds{L"<p>Text <b>fett</b></p>\r\n<ul><li>eins</li></ul>\r\n"};

// A '#' (from a character reference) faults at one place, "<!" (a comment,
// CDATA, a doctype) at another; the '#' goes first.
CaseResult TwoFaults(const std::wstring& page) {
    if (page.find(L'#') != std::wstring::npos)
        return Faulted(L"Zugriffsverletzung", L"x.dll!TsRun+0x1C");
    if (page.find(L"<!") != std::wstring::npos)
        return Faulted(L"Division durch null", L"x.dll!TsRun+0x40");
    return CaseResult{};
}

TEST(FuzzCampaign, EachWayOfFailingIsOneFindingShrunkToAPageWhoseEveryCharacterIsNeeded) {
    FakePageRunner runner;
    int failingRuns = 0;
    runner.rule = [&](const std::wstring& page) {
        CaseResult c = TwoFaults(page);
        failingRuns += c.verdict != Verdict::Passed;
        return c;
    };
    FuzzCampaign campaign(runner, kSeeds, 7, 2, L"x.dll");
    std::vector<CaseResult> cases;
    const FuzzSummary summary = campaign.Run(cases);

    ASSERT_EQ(summary.findings.size(), 2u);
    EXPECT_GT(failingRuns, 20);  // many pages failed so: the same finding each time
    std::vector<std::wstring> pages;
    for (const FuzzFinding& f : summary.findings) {
        pages.push_back(f.input);
        const std::wstring key = TwoFaults(f.input).place;
        EXPECT_EQ(key, f.place);
        for (std::size_t i = 0; i < f.input.size(); ++i)
            EXPECT_NE(TwoFaults(std::wstring(f.input).erase(i, 1)).place, key) << i;
    }
    EXPECT_THAT(pages, UnorderedElementsAre(L"#", L"<!"));
    EXPECT_EQ(summary.findings[0].file, L"F:\\x.dll-fuzz-1.html");
    EXPECT_THAT(runner.saved, UnorderedElementsAre(L"x.dll-fuzz-1.html", L"x.dll-fuzz-2.html"));
    ASSERT_EQ(cases.size(), 2u);
    for (const CaseResult& c : cases) {
        EXPECT_TRUE(c.fuzz);
        EXPECT_EQ(c.verdict, Verdict::Failed);
    }
    EXPECT_EQ(summary.runs, runner.runs);
    EXPECT_EQ(summary.seed, 7u);
}

// A page with a comment keeps a handle each run: the probe's count finds a
// new high, the pages since are run again, and the comment is the leak.
TEST(FuzzCampaign, APageThatKeepsAHandleEachRunIsFoundByTheProbeAndShrunk) {
    FakePageRunner runner;
    runner.rule = [&](const std::wstring& page) {
        if (page.find(L"<!--") != std::wstring::npos) ++runner.handles;
        return CaseResult{};
    };
    FuzzCampaign campaign(runner, kSeeds, 11, 5, L"x.dll");
    std::vector<CaseResult> cases;
    const FuzzSummary summary = campaign.Run(cases);

    ASSERT_EQ(summary.findings.size(), 1u);
    const FuzzFinding& leak = summary.findings[0];
    EXPECT_EQ(leak.kind, L"Leck");
    EXPECT_EQ(leak.place, L"Handles");
    EXPECT_EQ(leak.input, L"<!--");
    EXPECT_THAT(leak.message, ::testing::HasSubstr(L"1 Handle (Ereignis) je Zyklus"));
    ASSERT_EQ(cases.size(), 1u);
    EXPECT_EQ(cases[0].name, L"Fuzz: Leck (Handles)");

    // The same pages without the leak: nothing found, one passing case.
    FakePageRunner quiet;
    quiet.rule = [](const std::wstring&) { return CaseResult{}; };
    std::vector<CaseResult> none;
    EXPECT_TRUE(FuzzCampaign(quiet, kSeeds, 11, 5, L"x.dll").Run(none).findings.empty());
    ASSERT_EQ(none.size(), 1u);
    EXPECT_EQ(none[0].verdict, Verdict::Passed);
    EXPECT_EQ(none[0].name, L"Fuzz (1000 Läufe, Startwert 11)");
}

// When the count has risen, only the page that raised it is run again and
// again: no quiet page of the window gets a leak test of its own.
TEST(FuzzCampaign, TheProbeRepeatsOnlyThePageThatRaisedTheCount) {
    struct Counting : FakePageRunner {
        std::wstring last;
        int quietPagesTested = 0, beforeShrinking = -1;
        CaseResult RunPage(const std::wstring& name, const std::wstring& page) override {
            last = page;
            return FakePageRunner::RunPage(name, page);
        }
        CycleUsage Usage(bool remember) override {
            if (remember && last.find(L"<!--") == std::wstring::npos) ++quietPagesTested;
            return FakePageRunner::Usage(remember);
        }
        bool Going(const std::wstring& stage, double done) override {
            if (stage.find(L"verkleinert") != std::wstring::npos && beforeShrinking < 0)
                beforeShrinking = quietPagesTested;
            return FakePageRunner::Going(stage, done);
        }
    } runner;
    runner.rule = [&](const std::wstring& page) {
        if (page.find(L"<!--") != std::wstring::npos) ++runner.handles;
        return CaseResult{};
    };
    std::vector<CaseResult> cases;
    ASSERT_EQ(FuzzCampaign(runner, kSeeds, 11, 5, L"x.dll").Run(cases).findings.size(), 1u);
    EXPECT_EQ(runner.beforeShrinking, 0);
}

// A page with a '#' hangs. With the check's limit of 30 s a try, half a
// minute of shrinking would hold one; each try hangs at 10 times the
// slowest passing run (at least 500 ms) instead, and the smallest page
// hangs again with the full limit before it is kept.
TEST(FuzzCampaign, AHangsPageShrinksWithShortTriesAndIsConfirmedWithTheFullLimit) {
    FakePageRunner runner;
    runner.rule = [](const std::wstring& page) {
        CaseResult c;
        if (page.find(L'#') != std::wstring::npos) c.verdict = Verdict::Hang;
        return c;
    };
    std::vector<CaseResult> cases;
    const FuzzSummary summary = FuzzCampaign(runner, kSeeds, 7, 2, L"x.dll").Run(cases);
    ASSERT_EQ(summary.findings.size(), 1u);
    EXPECT_EQ(summary.findings[0].kind, L"hängt");
    EXPECT_EQ(summary.findings[0].input, L"#");
    // The finding's runs (the plugin kept loaded, then in a cycle of its
    // own) had the full limit, the tries the short one, the confirmation
    // and every later run the full one again.
    const std::vector<double>& limits = runner.hangLimits;
    ASSERT_GT(limits.size(), 4u);
    // (One run when the plugin was loaded for it, else a second in a cycle
    // of its own.)
    std::size_t tries = 0;
    while (tries < limits.size() && limits[tries] == 0) ++tries;
    EXPECT_TRUE(tries == 1 || tries == 2) << tries;
    while (tries < limits.size() && limits[tries] == 500) ++tries;
    EXPECT_GT(tries, 3u);
    EXPECT_LT(tries, limits.size());
    for (std::size_t i = tries; i < limits.size(); ++i) EXPECT_EQ(limits[i], 0) << i;
    EXPECT_EQ(runner.limit, 0);
}

// Most pages run with the plugin kept loaded, every 64th in a cycle of its
// own. A fault seen only while kept (earlier runs broke the plugin's state)
// is run again in a cycle of its own and is no finding; one that fails
// there too is. The plugin is let go at the end.
TEST(FuzzCampaign, KeptRunsFailOnlyWhenACycleOfTheirOwnFailsToo) {
    FakePageRunner runner;
    const auto inItsOwnCycle = [](const std::wstring& page) {
        return page.find(L"<!") != std::wstring::npos
                   ? Faulted(L"Division durch null", L"x.dll!TsRun+0x40")
                   : CaseResult{};
    };
    runner.rule = inItsOwnCycle;
    runner.keptRule = [&](const std::wstring& page) {
        return page.find(L'#') != std::wstring::npos
                   ? Faulted(L"Zugriffsverletzung", L"x.dll!TsRun+0x1C")
                   : inItsOwnCycle(page);
    };
    std::vector<CaseResult> cases;
    const FuzzSummary summary = FuzzCampaign(runner, kSeeds, 7, 2, L"x.dll").Run(cases);
    ASSERT_EQ(summary.findings.size(), 1u);
    EXPECT_EQ(summary.findings[0].place, L"x.dll!TsRun+0x40");
    EXPECT_GT(runner.keptRuns, 200);
    EXPECT_GT(runner.runs - runner.keptRuns, runner.keptRuns / FuzzCampaign::kFullCycleEvery);
    EXPECT_FALSE(runner.holding);
    EXPECT_GE(runner.releases, 1);
}

// How much of `word` (a processing instruction's "<?name...") the page
// holds at its best: a plugin that reads it a character at a time reaches
// a line for each.
std::size_t Matched(const std::wstring& word, const std::wstring& page) {
    std::size_t best = 0;
    for (std::size_t at = page.find(L"<?"); at != std::wstring::npos;
         at = page.find(L"<?", at + 1)) {
        std::size_t n = 2;
        while (n < word.size() && at + n < page.size() && page[at + n] == word[n]) ++n;
        best = std::max(best, n);
    }
    return best;
}
const wchar_t kWordSeed[] = L"<p>Hallo <b>Welt</b></p>\r\n<?xml version=\"1.0\"?>\r\n";

// A plugin that reads "<?tagsmith!" a character at a time, each at a line
// of its own, and faults at the '!': the mutations alone never make the
// word; led by the lines, a character at a time, the campaign does.
TEST(FuzzCampaign, GuidedByTheLinesReachedItFindsAWordReadACharacterAtATime) {
    const std::wstring word = L"<?tagsmith!";
    const auto matched = [&](const std::wstring& page) { return Matched(word, page); };
    const std::vector<std::wstring> seeds{kWordSeed};
    for (const bool guided : {false, true}) {
        FakePageRunner runner;
        runner.rule = [&](const std::wstring& page) {
            const std::size_t n = matched(page);
            runner.marks = std::max(runner.marks, n);  // a line for each character matched
            return n == word.size() ? Faulted(L"Zugriffsverletzung", L"x.cpp:141 (TsRun)")
                                    : CaseResult{};
        };
        FuzzCampaign campaign(runner, seeds, 5, guided ? 150 : 60, L"x.dll");
        if (guided) campaign.Guide(PageTokens(seeds));
        std::vector<CaseResult> cases;
        const FuzzSummary summary = campaign.Run(cases);
        EXPECT_EQ(summary.guided, guided);
        if (!guided) {
            EXPECT_TRUE(summary.findings.empty()) << summary.runs;
            EXPECT_TRUE(runner.corpus.empty());
            continue;
        }
        ASSERT_EQ(summary.findings.size(), 1u) << summary.runs;
        EXPECT_EQ(summary.findings[0].input, word);
        EXPECT_LT(summary.findings[0].afterRuns, 30000);
        // Each page that matched one more character joined the corpus.
        EXPECT_EQ(summary.grown, static_cast<int>(runner.corpus.size()));
        EXPECT_GE(summary.grown, 8);
    }
}

// Resumed from the pages an earlier campaign kept, in any order, the
// campaign runs them once as they are, then grows on from the deepest one
// where it differs from the page most like it: sooner at the word than a
// campaign from the seeds alone. Without where each grew, it would hardly
// get there.
TEST(FuzzCampaign, ResumedFromAnEarlierCorpusItGrowsOnFromItsDeepestPage) {
    const std::wstring word = L"<?tagswerk";
    const auto matched = [&](const std::wstring& page) { return Matched(word, page); };
    const std::vector<std::wstring> seeds{kWordSeed};
    const auto campaign = [&](std::uint64_t seed, std::vector<std::wstring> corpus,
                              std::vector<std::wstring>& kept) {
        FakePageRunner runner;
        int foundAt = 1 << 30;  // the campaign stops a while after its finding
        runner.rule = [&](const std::wstring& page) {
            const std::size_t n = matched(page);
            runner.marks = std::max(runner.marks, n);
            if (n == word.size()) foundAt = std::min(foundAt, runner.runs);
            runner.stopped = runner.runs > foundAt + 500;
            return n == word.size() ? Faulted(L"Zugriffsverletzung", L"x.cpp:141 (TsRun)")
                                    : CaseResult{};
        };
        FuzzCampaign fuzz(runner, seeds, seed, 150, L"x.dll");
        fuzz.Guide(PageTokens(seeds), std::move(corpus));
        std::vector<CaseResult> cases;
        const FuzzSummary summary = fuzz.Run(cases);
        kept = runner.corpus;
        EXPECT_EQ(summary.findings.size(), 1u) << seed;
        return summary.findings.empty() ? 1 << 30 : summary.findings[0].afterRuns;
    };
    std::vector<std::wstring> earlier, none;
    campaign(5, {}, earlier);
    // What the earlier one kept up to "<?tags", deepest first.
    std::vector<std::wstring> corpus;
    for (const std::wstring& page : earlier)
        if (matched(page) <= 6) corpus.insert(corpus.begin(), page);
    ASSERT_EQ(corpus.size(), 4u);  // "<?t" to "<?tags"
    long long fresh = 0, resumed = 0;
    for (std::uint64_t seed = 11; seed <= 14; ++seed) {
        fresh += campaign(seed, {}, none);
        resumed += campaign(seed, corpus, none);
    }
    EXPECT_LT(resumed, fresh);
}

TEST(Fuzz, ANameLengthensAfterItsFocusOrAtARandomNameAndTokensAreThePagesNames) {
    FuzzRandom random(1);
    int afterFocus = 0;
    for (int i = 0; i < 200; ++i) {
        std::wstring page = L"<p>x</p><?ta";
        const std::size_t at = LengthenName(page, random, 11);
        ASSERT_EQ(page.size(), 13u);
        afterFocus += at == 12;
        // Elsewhere: inside or at the end of a name, never outside one.
        if (at != 12) {
            EXPECT_TRUE(at == 1 || at == 2 || (at >= 6 && at <= 7) || at >= 10) << at;
        }
    }
    EXPECT_GT(afterFocus, 80);
    EXPECT_EQ(PageTokens({L"<p class=\"a\">&amp;<?php x?></p>"}),
              (std::vector<std::wstring>{L" class", L"&amp", L"<?php", L"</p"}));
}

// Stopped during its tenth run, which ends as the host ends a call (a
// hang): that run is no finding, and no run follows.
TEST(FuzzCampaign, AStopEndsTheCampaignAndTheRunItEndedIsNoFinding) {
    FakePageRunner runner;
    runner.rule = [&](const std::wstring&) {
        CaseResult c;
        if (runner.runs == 10) {
            runner.stopped = true;
            c.verdict = Verdict::Hang;
            c.problem = L"antwortet nicht";
        }
        return c;
    };
    std::vector<CaseResult> cases;
    const FuzzSummary summary = FuzzCampaign(runner, kSeeds, 3, 60, L"x.dll").Run(cases);
    EXPECT_EQ(runner.runs, 10);
    EXPECT_EQ(summary.runs, 10);
    EXPECT_TRUE(summary.findings.empty());
    for (const CaseResult& c : cases) EXPECT_EQ(c.verdict, Verdict::Passed);
}

}  // namespace
}  // namespace dllscope
