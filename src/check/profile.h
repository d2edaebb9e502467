#pragma once
// How a plugin's cost grows with its page: pages of growing size made from
// the seeds, the median time of each, and the exponent of the growth fitted
// to them, in words an author can act on.
#include <optional>
#include <string>
#include <vector>

#include "check/check_records.h"

namespace dllscope {

// A page of exactly `characters` characters: the seeds one after another,
// as often as it takes, the last one cut.
std::wstring PageOfSize(const std::vector<std::wstring>& seeds, std::size_t characters);

struct GrowthFit {
    double exponent = 0;  // time ~ size^exponent
    std::string growth;   // "linear", "n log n", "quadratisch", "schneller als quadratisch"
};

// The fit of `milliseconds` against `sizes` (both > 0, same length, at
// least two); the times under 2 ms are left out where enough remain.
GrowthFit FitGrowth(const std::vector<double>& sizes, const std::vector<double>& milliseconds);

// A growth's place among those a profile names, simplest first (linear: 0);
// -1 for none of them.
int GrowthRank(const std::string& growth);

// The failing case of a plugin whose profile grows worse than `maxGrowth`
// allows ("linear", "n log n", "quadratisch"); none otherwise.
std::optional<CaseResult> GrowthGate(const std::wstring& pluginName, const ProfileSummary& p,
                                     const std::string& maxGrowth);

// The time a page of `size` would take, by the fit, from the largest measured.
double EstimatedMilliseconds(const GrowthFit& fit, double measuredSize, double measuredMilliseconds,
                             double size);

// "16 KiB", "4 MiB", "1,5 MiB".
std::wstring SizeWords(double bytes);
// "12 s", "0,8 s", "15 min", "8,6 Stunden".
std::wstring SecondsWords(double milliseconds);

// "wächst linear (Exponent 1,0): 16 MiB brauchen 0,8 s" or "wächst
// quadratisch (Exponent 2,0): 4 MiB brauchen 12 s; eine Seite von 10 MiB
// bräuchte etwa 75 s".
std::wstring GrowthWords(const GrowthFit& fit, double size, double milliseconds);

}  // namespace dllscope
