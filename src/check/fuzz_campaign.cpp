#include "check/fuzz_campaign.h"

#include <algorithm>

#include "check/check_report.h"
#include "check/judge.h"
#include "common/utf8.h"

namespace dllscope {
namespace {

// The handles are counted after every 32nd passing run (a measurement costs
// as much as eight runs under Wine); the first count is the warm-up's.
constexpr int kWarmUp = 32, kMeasureEvery = 32;

// A finding's kind in words: the fault's kind, or what became of the call.
std::wstring FindingKind(const CaseResult& c) {
    if (!c.faultKind.empty()) return c.faultKind;
    if (c.verdict == Verdict::Hang) return L"hängt";
    if (c.verdict == Verdict::Leak) return L"Leck";
    if (c.verdict == Verdict::Ended) return L"beendet den Prozess";
    return L"Fehler";
}

std::wstring Quoted(const std::wstring& page) {
    return page.size() <= 200 ? L"\u201E" + page + L"\u201C"
                              : L"\u201E" + page.substr(0, 200) + L"\u201C …";
}

}  // namespace

std::string FuzzCampaign::Key(const CaseResult& c) const {
    return std::string(VerdictName(c.verdict)) + "|" + ToUtf8(c.place);
}

std::wstring FuzzCampaign::Stage() const {
    const std::size_t n = summary_.findings.size();
    return L"Fuzzing: " + std::to_wstring(summary_.runs) + L" Läufe, " + std::to_wstring(n) +
           (n == 1 ? L" Fund" : L" Funde");
}

double FuzzCampaign::Done() const { return (runner_.Milliseconds() - start_) / (end_ - start_); }

bool FuzzCampaign::Going(const std::wstring& stage) { return runner_.Going(stage, Done()); }

// Pages made from the seeds until the time is up. A hang found so fails the
// plugin; the campaign goes on.
FuzzSummary FuzzCampaign::Run(std::vector<CaseResult>& cases) {
    summary_ = FuzzSummary{};
    summary_.seed = seed_;
    summary_.guided = guided_;
    for (const std::wstring& seed : seeds_) corpus_.push_back({seed, std::wstring::npos});
    Resume();
    marksSeen_ = runner_.MarksReached();
    FuzzRandom random(seed_);
    start_ = runner_.Milliseconds();
    end_ = start_ + 1000.0 * seconds_;
    // Guided, the corpus runs once as it is first: what its pages reach is
    // no new page's.
    std::size_t replayed = guided_ ? 0 : corpus_.size();
    while (runner_.Milliseconds() < end_ && Going(Stage())) {
        Made made;
        std::size_t focus = std::wstring::npos;
        const bool replaying = replayed < corpus_.size();
        if (replaying) {
            made = {corpus_[replayed++].page, L"Seite des Korpus"};
        } else if (guided_) {
            made = GuidedPage(random, focus);
        } else {
            made.first = MutatedPage(seeds_, random, made.second);
        }
        CaseResult result = RunMade(made.first);
        ++summary_.runs;
        runner_.AfterRun();
        const bool leak = result.verdict == Verdict::Passed;
        if (guided_) Grow(made.first, focus, leak && !replaying);
        if (leak) slowestPassing_ = std::max(slowestPassing_, result.milliseconds);
        Made failing = made;
        if (leak) {
            if (!ProbeForLeak(made, result, failing)) continue;
        } else {
            quiet_ = 0;
            unmeasured_.clear();
        }
        if (!Going(Stage())) break;  // the stop may have ended this run
        if (std::find(seen_.begin(), seen_.end(), Key(result)) != seen_.end()) continue;
        seen_.push_back(Key(result));
        Record(result, failing, leak, cases);
    }
    runner_.Release();
    summary_.seconds = (runner_.Milliseconds() - start_) / 1000;
    if (summary_.findings.empty()) {
        CaseResult passed;
        passed.fuzz = true;
        passed.verdict = Verdict::Passed;
        passed.name = L"Fuzz (" + std::to_wstring(summary_.runs) + L" Läufe, Startwert " +
                      std::to_wstring(summary_.seed) +
                      (guided_ ? L", von den Zeilen geleitet: " + std::to_wstring(summary_.grown) +
                                     L" Seiten neu im Korpus"
                               : std::wstring()) +
                      L")";
        passed.milliseconds = summary_.seconds * 1000;
        cases.push_back(passed);
    }
    return summary_;
}

// A page from the corpus: half the time one of the eight that joined last
// (they reached the lines reached last, the rarest), else any. Half the
// time it gets a name lengthened, else a token or the unguided mutations.
FuzzCampaign::Made FuzzCampaign::GuidedPage(FuzzRandom& random, std::size_t& focus) {
    FuzzRandom own(random.Next());
    const std::size_t n = corpus_.size();
    const Grown& from = own.Below(2) ? corpus_[n - 1 - own.Below(std::min<std::size_t>(8, n))]
                                     : corpus_[own.Below(n)];
    Made made{from.page, L""};
    const std::size_t way = own.Below(4);
    if (way < 2) {
        focus = LengthenName(made.first, own, from.focus);
        made.second = L"Name verlängert";
        return made;
    }
    if (way == 2 && !tokens_.empty()) {
        InsertToken(made.first, own, tokens_);
        made.second = L"Wort eingefügt";
    } else {
        made.first = MutatedPage({from.page}, own, made.second);
    }
    // Where the page first differs from the one it was made from: where a
    // lengthened name would go on.
    const auto differs =
        std::mismatch(made.first.begin(), made.first.end(), from.page.begin(), from.page.end());
    focus = static_cast<std::size_t>(differs.first - made.first.begin());
    return made;
}

// The pages of an earlier campaign's corpus, which keeps neither their
// order nor where each grew. Each grew from the page most like it, where it
// first differs from that one: there its focus. The pages that differ from
// theirs latest grew deepest and come last, among the newest.
void FuzzCampaign::Resume() {
    constexpr std::size_t kCompared = 256, kPrefix = 4096;  // bounds the work of a huge corpus
    std::vector<Grown> earlier;
    for (std::size_t i = 0; i < earlier_.size(); ++i) {
        const std::wstring& page = earlier_[i];
        std::size_t focus = std::wstring::npos, longest = 0;
        const auto compare = [&](const std::wstring& other) {
            const std::size_t n = std::min({page.size(), other.size(), kPrefix});
            const std::size_t same = static_cast<std::size_t>(
                std::mismatch(page.begin(), page.begin() + n, other.begin()).first - page.begin());
            if (same >= longest && same < page.size()) longest = same, focus = same;
        };
        if (i < kCompared) {
            for (const std::wstring& seed : seeds_) compare(seed);
            for (std::size_t j = 0; j < earlier_.size() && j < kCompared; ++j)
                if (j != i) compare(earlier_[j]);
        }
        earlier.push_back({page, focus});
    }
    std::stable_sort(earlier.begin(), earlier.end(), [](const Grown& a, const Grown& b) {
        return a.focus + 1 < b.focus + 1;  // npos (nothing like it) first
    });
    corpus_.insert(corpus_.end(), earlier.begin(), earlier.end());
    earlier_.clear();
}

// A passing page that reached marks no page reached before joins the
// corpus; what a failing one reached is no one's.
void FuzzCampaign::Grow(const std::wstring& page, std::size_t focus, bool passed) {
    const std::size_t reached = runner_.MarksReached();
    if (reached <= marksSeen_) return;
    marksSeen_ = reached;
    if (!passed) return;
    corpus_.push_back({page, focus});
    ++summary_.grown;
    runner_.KeepInCorpus(page);
}

// A page of the campaign's own. Most run with the plugin kept loaded; what
// fails so after earlier runs in the same load is run again in a cycle of
// its own, a fresh load as the author's caller makes it, and only that run
// counts: a plugin whose earlier runs left it broken fails there too or
// not at all. Every
// kFullCycleEvery-th page runs in a cycle of its own from the start, so
// that loading and freeing stay under fuzz.
CaseResult FuzzCampaign::RunMade(const std::wstring& page) {
    if (++sinceFullCycle_ < kFullCycleEvery) {
        bool fresh = false;
        CaseResult kept = runner_.RunKept(L"Fuzz", page, fresh);
        // A stop ends the run under way as a failure: it goes no further.
        // A plugin loaded for this very run failed as in a cycle of its own.
        if (kept.verdict == Verdict::Passed || fresh || !Going(Stage())) return kept;
        ++summary_.runs;
    }
    sinceFullCycle_ = 0;
    return runner_.RunPage(L"Fuzz", page);
}

// Memory is left to --repeat: over a few runs of a large page the heap's
// own growth looks like a leak. True when a page since the last count
// leaks (`result` and `failing` say which and how).
bool FuzzCampaign::ProbeForLeak(const Made& made, CaseResult& result, Made& failing) {
    unmeasured_.push_back(made);
    if (++quiet_ % kMeasureEvery != 0) return false;
    const CycleUsage now = runner_.Usage(false);
    const bool higher = now.handles > highestHandles_;
    if (quiet_ == kMeasureEvery || higher) highestHandles_ = now.handles;
    std::vector<Made> suspects;
    suspects.swap(unmeasured_);
    if (quiet_ <= kWarmUp || !higher) return false;
    // Each suspect once, counted after it: only a page that raises the
    // count is run kLeakRuns times, so a leak among 32 pages costs about 32
    // runs and counts, not 32 times kLeakRuns of each.
    long long before = now.handles;
    for (const Made& suspect : suspects) {
        ++summary_.runs;
        if (runner_.RunPage(L"Fuzz", suspect.first).verdict != Verdict::Passed) return false;
        const long long after = runner_.Usage(false).handles;
        if (after <= before) continue;
        before = after;
        summary_.runs += kLeakRuns;
        result = LeakOn(suspect.first);
        failing = suspect;
        if (result.verdict != Verdict::Passed) return true;
        before = runner_.Usage(false).handles;
    }
    return false;
}

// The page run kLeakRuns times in a row: a leak when what the process
// holds grows steadily with the runs, else passed (a failing run too: that
// is a finding of its own).
CaseResult FuzzCampaign::LeakOn(const std::wstring& page) {
    CaseResult result;
    result.name = L"Fuzz";
    result.verdict = Verdict::Passed;
    result.charactersIn = page.size();
    std::vector<CycleUsage> usage;
    for (int i = 0; i < kLeakRuns; ++i) {
        if (runner_.RunPage(L"Fuzz", page).verdict != Verdict::Passed) return result;
        usage.push_back(runner_.Usage(i == 0));
    }
    std::vector<CheckLeak> leaks = JudgeGrowth(usage, runner_.NewHandleTypes(), false);
    // Memory is --repeat's: a page's first runs fill the plugin's caches.
    leaks.erase(std::remove_if(
                    leaks.begin(), leaks.end(),
                    [](const CheckLeak& l) { return l.what != kHandleLeak && l.what != kTlsLeak; }),
                leaks.end());
    if (leaks.empty()) return result;
    result.verdict = Verdict::Leak;
    result.place = leaks[0].what;
    result.problem = L"Das Plugin \u201E" + pluginName_ +
                     L"\u201C behält auf dieser Seite bei jedem Lauf etwas zurück: " +
                     leaks[0].perCycle + L" (" + std::to_wstring(leaks[0].growth) + L" in " +
                     std::to_wstring(leaks[0].cycles) + L" Läufen nach dem ersten).";
    return result;
}

// The failing page shrunk for at most half a minute, each try a run of its
// own (a leak's, a few). A hang's tries hang sooner than the check's limit,
// at a multiple of the slowest passing run, so that the time holds many;
// the smallest page must then hang with the full limit, or the page found
// stays.
std::wstring FuzzCampaign::Shrunk(const CaseResult& result, const Made& failing, bool leak) {
    const bool hang = result.verdict == Verdict::Hang && slowestPassing_ > 0;
    if (hang) runner_.LimitCalls(std::max(kHangTryFloor, kHangTryFactor * slowestPassing_));
    const double shrinkEnd = runner_.Milliseconds() + 30000;
    std::wstring smallest = ShrunkPage(
        failing.first,
        [&](const std::wstring& candidate) {
            if (leak) {
                summary_.runs += kLeakRuns;
                return Key(LeakOn(candidate)) == Key(result);
            }
            ++summary_.runs;
            return Key(runner_.RunPage(L"Fuzz", candidate)) == Key(result);
        },
        [&] {
            return runner_.Milliseconds() < shrinkEnd &&
                   Going(L"Fuzzing: verkleinert die Seite eines Funds");
        });
    if (!hang) return smallest;
    runner_.LimitCalls(0);
    if (smallest == failing.first) return smallest;
    ++summary_.runs;
    if (Going(L"Fuzzing: bestätigt die kleinste Seite eines Funds") &&
        Key(runner_.RunPage(L"Fuzz", smallest)) == Key(result))
        return smallest;
    return failing.first;
}

// A new way of failing, shrunk and kept as a finding and a failing case.
void FuzzCampaign::Record(const CaseResult& result, const Made& failing, bool leak,
                          std::vector<CaseResult>& cases) {
    FuzzFinding f;
    f.afterRuns = summary_.runs;
    f.afterSeconds = (runner_.Milliseconds() - start_) / 1000;
    const std::wstring smallest = Shrunk(result, failing, leak);
    f.place = result.place;
    f.stack = result.stack;
    f.kind = FindingKind(result);
    f.message = result.problem;
    f.mutation = failing.second;
    f.input = smallest;
    f.bytes = ToUtf8(smallest).size();
    f.file = runner_.SaveFailure(
        pluginName_ + L"-fuzz-" + std::to_wstring(summary_.findings.size() + 1) + L".html",
        smallest);
    CaseResult finding = result;
    finding.fuzz = true;
    finding.verdict = Verdict::Failed;
    finding.name = L"Fuzz: " + FindingTitle(f);
    finding.problem = result.problem + L"\nKleinste Seite (" + std::to_wstring(f.bytes) +
                      L" Bytes, " + failing.second + L"): " + Quoted(smallest) +
                      (f.file.empty() ? L"" : L"\nGespeichert: " + f.file);
    cases.push_back(finding);
    summary_.findings.push_back(f);
}

}  // namespace dllscope
