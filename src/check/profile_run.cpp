#include "check/profile_run.h"

#include <algorithm>

#include "check/profile.h"
#include "sampling/code_samples.h"

namespace dllscope {

bool ProfileRun::Going(const std::wstring& stage, double done) {
    if (!stopped_) stopped_ = !runner_.Going(stage, done);
    return !stopped_;
}

// Three runs while a run stays under half a second.
bool ProfileRun::Measure(std::size_t size, ProfileSummary& p, double& median) {
    std::vector<double> times;
    const std::wstring page = PageOfSize(seeds_, size);
    for (int i = 0; i < 3; ++i) {
        const CaseResult c = runner_.RunPage(L"Profil", page);
        if (c.verdict != Verdict::Passed && !Going(L"Profil", 1)) break;
        if (c.verdict != Verdict::Passed) {
            p.stopped = L"Bei " + SizeWords(static_cast<double>(size)) + L": " + c.problem;
            break;
        }
        times.push_back(c.milliseconds);
        if (c.milliseconds > 500) break;
    }
    if (!p.stopped.empty() || stopped_) return false;
    std::sort(times.begin(), times.end());
    median = times[times.size() / 2];
    return true;
}

// Pages from 16 KiB, doubling, until the median run takes 2 s or 64 MiB is
// reached.
std::optional<ProfileSummary> ProfileRun::Run(std::vector<CaseResult>& cases) {
    ProfileSummary p;
    constexpr std::size_t kFirst = 16 * 1024, kLast = std::size_t{64} << 20;
    for (std::size_t size = kFirst, step = 0; size <= kLast; size *= 2, ++step) {
        if (!Going(L"Profil: Seiten von " + SizeWords(static_cast<double>(size)),
                   static_cast<double>(step) / 12))
            break;
        double median = 0;
        if (!Measure(size, p, median)) break;
        p.sizes.push_back(static_cast<double>(size));
        p.milliseconds.push_back(median);
        p.peakBytes.push_back(static_cast<double>(runner_.Usage(false).peakBytes));
        if (median > 2000) break;
    }
    if (p.sizes.empty()) {
        if (stopped_) return std::nullopt;
        p.words = L"nicht gemessen";
        return p;
    }
    const GrowthFit fit = FitGrowth(p.sizes, p.milliseconds);
    p.exponent = fit.exponent;
    p.growth = fit.growth;
    p.words = GrowthWords(fit, p.sizes.back(), p.milliseconds.back());
    // Where the time goes: one more run of the largest page that took at
    // most 2 s, sampled throughout (outside the timed runs).
    std::size_t sampled = 0;
    for (std::size_t i = 0; i < p.sizes.size(); ++i)
        if (p.milliseconds[i] <= 2000) sampled = i;
    if (Going(L"Profil: wo die Zeit bleibt", 1)) {
        p.hotspots =
            runner_.HotSpots(PageOfSize(seeds_, static_cast<std::size_t>(p.sizes[sampled])));
        if (!p.hotspots.empty()) p.words += L"; " + HotspotWords(p.hotspots);
    }
    for (CaseResult& c : cases) {
        if (c.verdict != Verdict::Hang || fit.growth == "linear" || c.charactersIn == 0) continue;
        c.problem += L"\nDas Profil zeigt ein langsames, kein festgefahrenes Plugin (es " +
                     p.words.substr(0, p.words.find(L':')) + L"): für diese " +
                     SizeWords(static_cast<double>(c.charactersIn)) + L" bräuchte es etwa " +
                     SecondsWords(EstimatedMilliseconds(fit, p.sizes.back(), p.milliseconds.back(),
                                                        static_cast<double>(c.charactersIn))) +
                     L".";
    }
    return p;
}

}  // namespace dllscope
