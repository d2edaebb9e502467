#include "check/profile.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "common/german_number.h"

namespace dllscope {
namespace {

constexpr double kTenMiB = 10.0 * 1024 * 1024;

// The growths a profile names, simplest first: the logarithm of the time
// each predicts for a page of e^x characters, up to a constant.
struct Model {
    const char* growth;
    double (*logTime)(double x);
};
const Model kModels[] = {
    {"linear", [](double x) { return x; }},
    {"n log n", [](double x) { return x + std::log(x); }},
    {"quadratisch", [](double x) { return 2 * x; }},
    {"schneller als quadratisch", [](double x) { return 3 * x; }},
};
// A model more complex than the one chosen so far must leave less than this
// share of its squared error: noise alone does not make linear "n log n".
constexpr double kClearlyBetter = 0.5;

// The squared error of the model with its constant fitted (in logarithms).
double SquaredError(const Model& m, const std::vector<double>& xs, const std::vector<double>& ys) {
    double c = 0;
    for (std::size_t i = 0; i < xs.size(); ++i) c += ys[i] - m.logTime(xs[i]);
    c /= static_cast<double>(xs.size());
    double error = 0;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        const double d = ys[i] - m.logTime(xs[i]) - c;
        error += d * d;
    }
    return error;
}

}  // namespace

std::wstring PageOfSize(const std::vector<std::wstring>& seeds, std::size_t characters) {
    std::wstring page;
    // Empty seeds add nothing; only when all are empty is the page empty.
    if (std::all_of(seeds.begin(), seeds.end(), [](const std::wstring& s) { return s.empty(); }))
        return page;
    page.reserve(characters);
    for (std::size_t i = 0; page.size() < characters; ++i)
        page.append(seeds[i % seeds.size()], 0, characters - page.size());
    return page;
}

GrowthFit FitGrowth(const std::vector<double>& sizes, const std::vector<double>& milliseconds) {
    std::vector<double> xs, ys;
    for (int floor : {2, 0}) {
        xs.clear();
        ys.clear();
        for (std::size_t i = 0; i < sizes.size() && i < milliseconds.size(); ++i) {
            if (milliseconds[i] <= floor || milliseconds[i] <= 0 || sizes[i] <= 0) continue;
            xs.push_back(std::log(sizes[i]));
            ys.push_back(std::log(milliseconds[i]));
        }
        if (xs.size() >= 2) break;
    }
    GrowthFit fit;
    if (xs.size() < 2) {
        fit.growth = "linear";  // too fast to tell anything else
        fit.exponent = 1;
        return fit;
    }
    double mx = 0, my = 0;
    for (std::size_t i = 0; i < xs.size(); ++i) mx += xs[i], my += ys[i];
    mx /= static_cast<double>(xs.size());
    my /= static_cast<double>(xs.size());
    double sxy = 0, sxx = 0;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        sxy += (xs[i] - mx) * (ys[i] - my);
        sxx += (xs[i] - mx) * (xs[i] - mx);
    }
    fit.exponent = sxx > 0 ? sxy / sxx : 1;
    // The growth is the model that explains the times, not a band of the
    // exponent: over these sizes n log n fits an exponent of about 1.08.
    const Model* chosen = &kModels[0];
    double chosenError = SquaredError(*chosen, xs, ys);
    for (const Model& m : kModels) {
        const double error = SquaredError(m, xs, ys);
        if (error < kClearlyBetter * chosenError) {
            chosen = &m;
            chosenError = error;
        }
    }
    fit.growth = chosen->growth;
    return fit;
}

int GrowthRank(const std::string& growth) {
    for (std::size_t i = 0; i < std::size(kModels); ++i)
        if (growth == kModels[i].growth) return static_cast<int>(i);
    return -1;
}

std::optional<CaseResult> GrowthGate(const std::wstring& pluginName, const ProfileSummary& p,
                                     const std::string& maxGrowth) {
    if (maxGrowth.empty() || GrowthRank(p.growth) <= GrowthRank(maxGrowth)) return std::nullopt;
    const std::wstring allowed(maxGrowth.begin(), maxGrowth.end());
    CaseResult c;
    c.name = L"Profil: höchstens " + allowed;
    c.verdict = Verdict::Failed;
    c.problem = L"Das Plugin \u201E" + pluginName + L"\u201C " + p.words +
                L". Erlaubt ist höchstens " + allowed + L" (--max-growth).";
    return c;
}

double EstimatedMilliseconds(const GrowthFit& fit, double measuredSize, double measuredMilliseconds,
                             double size) {
    return measuredMilliseconds * std::pow(size / measuredSize, fit.exponent);
}

std::wstring SizeWords(double bytes) {
    if (bytes >= 1024.0 * 1024) {
        const double mib = bytes / (1024.0 * 1024);
        return GermanNumber(mib, mib == std::floor(mib) ? 0 : 1) + L" MiB";
    }
    return GermanNumber(bytes / 1024, 0) + L" KiB";
}

std::wstring SecondsWords(double milliseconds) {
    const double seconds = milliseconds / 1000;
    if (seconds >= 7200) return GermanNumber(seconds / 3600, 1) + L" Stunden";
    if (seconds >= 120) return GermanNumber(seconds / 60, 0) + L" min";
    return GermanNumber(seconds, seconds < 10 ? 1 : 0) + L" s";
}

std::wstring GrowthWords(const GrowthFit& fit, double size, double milliseconds) {
    std::wstring words = L"wächst " + std::wstring(fit.growth.begin(), fit.growth.end()) +
                         L" (Exponent " + GermanNumber(fit.exponent, 1) + L"): " + SizeWords(size) +
                         L" brauchen " + SecondsWords(milliseconds);
    if (fit.growth != "linear" && size < kTenMiB) {
        words += L"; eine Seite von 10 MiB bräuchte etwa " +
                 SecondsWords(EstimatedMilliseconds(fit, size, milliseconds, kTenMiB));
    }
    return words;
}

}  // namespace dllscope
