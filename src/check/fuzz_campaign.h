#pragma once
// The fuzzing of one plugin: pages made from the seeds until the time is
// up, each run through a PageRunner; each way of failing that is new (its
// kind and place, a hang, an end, a leak) shrunk to its smallest page and
// kept as a finding and a failing case.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "check/guided_mutations.h"
#include "check/page_runner.h"

namespace dllscope {

class FuzzCampaign {
  public:
    // `pluginName` names the saved pages ("x.dll-fuzz-1.html").
    FuzzCampaign(PageRunner& runner, std::vector<std::wstring> seeds, std::uint64_t seed,
                 int seconds, std::wstring pluginName)
        : runner_(runner),
          seeds_(std::move(seeds)),
          seed_(seed),
          seconds_(seconds),
          pluginName_(std::move(pluginName)) {}

    // Guided by the lines the runs reach (the runner's MarksReached): a page
    // that reaches a line no page reached before joins the corpus the pages
    // are made from; `tokens` (words of the cases and of the plugin) go
    // into pages too. `corpus`: the pages an earlier campaign grew, which
    // join the corpus after the seeds.
    void Guide(std::vector<std::wstring> tokens, std::vector<std::wstring> corpus = {}) {
        guided_ = true;
        tokens_ = std::move(tokens);
        earlier_ = std::move(corpus);
    }

    // Runs the campaign: each finding, and with none one passing case,
    // goes into `cases`; the summary comes back.
    FuzzSummary Run(std::vector<CaseResult>& cases);

    // How often the page of a suspected leak runs in a row.
    static constexpr int kLeakRuns = 6;
    // While a hang's page shrinks, a try hangs when it runs this many times
    // as long as the slowest passing run, and at least kHangTryFloor ms.
    static constexpr double kHangTryFactor = 10, kHangTryFloor = 500;
    // Every so many of its pages run in a bridge cycle of their own, the
    // others with the plugin kept loaded.
    static constexpr int kFullCycleEvery = 64;

  private:
    using Made = std::pair<std::wstring, std::wstring>;  // a page and its mutations
    CaseResult RunMade(const std::wstring& page);
    // A page of the corpus changed; `focus`: where a character went in.
    Made GuidedPage(FuzzRandom& random, std::size_t& focus);
    void Grow(const std::wstring& page, std::size_t focus, bool passed);
    void Resume();
    // A passing run's page: after every kMeasureEvery passing runs, the
    // handles are counted; a new high has the pages since tried for a leak.
    bool ProbeForLeak(const Made& made, CaseResult& result, Made& failing);
    CaseResult LeakOn(const std::wstring& page);
    void Record(const CaseResult& result, const Made& failing, bool leak,
                std::vector<CaseResult>& cases);
    std::wstring Shrunk(const CaseResult& result, const Made& failing, bool leak);
    std::string Key(const CaseResult& c) const;
    std::wstring Stage() const;
    double Done() const;
    bool Going(const std::wstring& stage);

    PageRunner& runner_;
    std::vector<std::wstring> seeds_;
    std::uint64_t seed_;
    int seconds_;
    std::wstring pluginName_;
    FuzzSummary summary_;
    double start_ = 0, end_ = 0;
    std::vector<std::string> seen_;  // the way each finding failed: verdict and place
    int sinceFullCycle_ = 0;
    // The guided campaign's: its corpus (the seeds first), each page with
    // where its last character went in (npos: nowhere known).
    struct Grown {
        std::wstring page;
        std::size_t focus;
    };
    bool guided_ = false;
    std::vector<std::wstring> tokens_;
    std::vector<std::wstring> earlier_;
    std::vector<Grown> corpus_;
    std::size_t marksSeen_ = 0;
    int quiet_ = 0;  // passing runs since the last failing one (which may have cost the host)
    double slowestPassing_ = 0;  // ms
    long long highestHandles_ = 0;
    std::vector<Made> unmeasured_;  // the passing pages since the last count
};

}  // namespace dllscope
