#include "check/profile.h"

#include <cmath>

#include "common/german_number.h"

namespace dllscope {
namespace {

constexpr double kTenMiB = 10.0 * 1024 * 1024;

}  // namespace

std::wstring PageOfSize(const std::vector<std::wstring>& seeds, std::size_t characters) {
    std::wstring page;
    page.reserve(characters);
    for (std::size_t i = 0; page.size() < characters && !seeds.empty(); ++i) {
        const std::wstring& seed = seeds[i % seeds.size()];
        if (seed.empty() && i >= seeds.size()) break;
        page.append(seed, 0, characters - page.size());
    }
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
    fit.growth = fit.exponent < 1.15  ? "linear"
                 : fit.exponent < 1.5 ? "n log n"
                 : fit.exponent < 2.4 ? "quadratisch"
                                      : "schneller als quadratisch";
    return fit;
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
