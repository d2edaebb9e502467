// The growth --profile fits to its measurements, its words, and the run it
// samples for where the time goes.
#include "check/profile.h"

#include "check/profile_run.h"

#include <cmath>

#include <gtest/gtest.h>

namespace dllscope {
namespace {

TEST(Profile, TheGrowthIsFittedAndSaidWithWhatABiggerPageWouldTake) {
    std::vector<double> sizes, linear, quadratic, noisy;
    for (double size = 16 * 1024; size <= 4 * 1024 * 1024; size *= 2) {
        sizes.push_back(size);
        linear.push_back(size / 10000);
        quadratic.push_back(size * size / 1e9);
        noisy.push_back(1.0);  // below what a clock tells apart
    }
    const GrowthFit l = FitGrowth(sizes, linear), q = FitGrowth(sizes, quadratic);
    EXPECT_EQ(l.growth, "linear");
    EXPECT_NEAR(l.exponent, 1.0, 0.01);
    EXPECT_EQ(q.growth, "quadratisch");
    EXPECT_NEAR(q.exponent, 2.0, 0.01);
    EXPECT_EQ(FitGrowth(sizes, noisy).growth, "linear");
    EXPECT_EQ(GrowthWords(q, 4 * 1024 * 1024, 12000),
              L"wächst quadratisch (Exponent 2,0): 4 MiB brauchen 12 s; eine Seite von 10 MiB "
              L"bräuchte etwa 75 s");
    EXPECT_EQ(GrowthWords(l, 16 * 1024, 800),
              L"wächst linear (Exponent 1,0): 16 KiB brauchen 0,8 s");
    EXPECT_EQ(SecondsWords(30829000), L"8,6 Stunden");
}

// Synthetic timings of each model over the profile's sizes, with noise of
// a few percent: each is named by the model, never by its exponent alone.
TEST(Profile, EachGrowthIsNamedByTheModelThatExplainsItsTimes) {
    const struct {
        const char* growth;
        double (*cost)(double n);
        double last;  // where a 2 s run stops the profile
    } models[] = {
        {"linear", [](double n) { return n / 30000; }, 64.0 * 1024 * 1024},
        {"n log n", [](double n) { return n * std::log(n) / 500000; }, 64.0 * 1024 * 1024},
        {"quadratisch", [](double n) { return n * n / 1e9; }, 256.0 * 1024},
        {"schneller als quadratisch", [](double n) { return n * n * n / 1e13; }, 64.0 * 1024},
    };
    const double noise[] = {1.03, 0.97, 1.0, 1.02, 0.98, 1.01, 0.99};
    for (const auto& m : models) {
        std::vector<double> sizes, times;
        int i = 0;
        for (double n = 16 * 1024; n <= m.last; n *= 2, ++i) {
            sizes.push_back(n);
            times.push_back(m.cost(n) * noise[i % 7]);
        }
        EXPECT_EQ(FitGrowth(sizes, times).growth, m.growth) << sizes.size() << " sizes";
    }
    // n log n fits an exponent barely above 1 over these sizes.
    std::vector<double> sizes, times;
    for (double n = 16 * 1024; n <= 64.0 * 1024 * 1024; n *= 2) {
        sizes.push_back(n);
        times.push_back(n * std::log(n) / 500000);
    }
    EXPECT_LT(FitGrowth(sizes, times).exponent, 1.15);
}

// Times under 2 ms are what the clock makes of a run, not what the plugin
// costs: they stay out of the fit while enough others remain.
TEST(Profile, TimesUnderTwoMillisecondsStayOutOfTheFit) {
    const std::vector<double> sizes{16384, 32768, 65536, 131072, 262144, 524288, 1048576};
    const std::vector<double> times{0.02, 0.02, 2.5, 5.0, 10.0, 20.0, 40.0};
    const GrowthFit fit = FitGrowth(sizes, times);
    EXPECT_EQ(fit.growth, "linear");
    EXPECT_NEAR(fit.exponent, 1.0, 0.01);
}

TEST(Profile, APageOfAnySizeIsMadeFromTheSeeds) {
    EXPECT_EQ(PageOfSize({L"abc", L"de"}, 12), L"abcdeabcdeab");
    EXPECT_EQ(PageOfSize({L""}, 5), L"");
    EXPECT_EQ(PageOfSize({}, 5), L"");
    // An empty page among the cases (an author's leer.html) is passed over.
    EXPECT_EQ(PageOfSize({L"ab", L"", L"c"}, 7), L"abcabca");
    EXPECT_EQ(PageOfSize({L"", L"xy"}, 16 * 1024).size(), 16u * 1024);
}

// A plugin whose time grows with the square of its page: 300 ms for 16 KiB.
class QuadraticRunner : public PageRunner {
  public:
    std::vector<std::size_t> sampledPages;
    CaseResult RunPage(const std::wstring&, const std::wstring& page) override {
        CaseResult c;
        const double k = page.size() / 16384.0;
        c.milliseconds = 300 * k * k;
        c.charactersIn = page.size();
        return c;
    }
    std::vector<LineShare> HotSpots(const std::wstring& page) override {
        sampledPages.push_back(page.size());
        return {{L"/src/lines.c", 51, L"Rebuild", L"lines.dll+0x40", 0.93},
                {L"/src/lines.c", 50, L"Rebuild", L"lines.dll+0x30", 0.07}};
    }
    CycleUsage Usage(bool) override { return {}; }
    std::vector<std::wstring> NewHandleTypes() override { return {}; }
    double Milliseconds() override { return 0; }
    bool Going(const std::wstring&, double) override { return true; }
    std::wstring SaveFailure(const std::wstring&, const std::wstring&) override { return {}; }
};

TEST(Profile, TheLargestPageThatTookAtMostTwoSecondsIsSampledOnceMore) {
    QuadraticRunner runner;
    std::vector<CaseResult> cases;
    const auto profile = ProfileRun(runner, {L"<p>x</p>"}).Run(cases);
    ASSERT_TRUE(profile);
    // 16 KiB: 0.3 s, 32 KiB: 1.2 s, 64 KiB: 4.8 s (the last measured).
    ASSERT_EQ(profile->sizes.size(), 3u);
    EXPECT_EQ(runner.sampledPages, std::vector<std::size_t>{32 * 1024});
    ASSERT_EQ(profile->hotspots.size(), 2u);
    const std::wstring& words = profile->words;
    EXPECT_EQ(words.substr(words.find(L"; 93")), L"; 93 % der Zeit in lines.c:51 (Rebuild)");
}

// Only a growth worse than the one allowed fails, with the profile's words;
// a profile that measured nothing names no growth and fails nothing.
TEST(Profile, AGrowthWorseThanAllowedIsAFailingCase) {
    ProfileSummary p;
    p.growth = "quadratisch";
    p.words = L"wächst quadratisch (Exponent 2,0): 256 KiB brauchen 6,4 s";
    const auto gate = GrowthGate(L"q.dll", p, "n log n");
    ASSERT_TRUE(gate);
    EXPECT_EQ(gate->verdict, Verdict::Failed);
    EXPECT_EQ(gate->name, L"Profil: höchstens n log n");
    EXPECT_EQ(gate->problem,
              L"Das Plugin \u201Eq.dll\u201C wächst quadratisch (Exponent 2,0): "
              L"256 KiB brauchen 6,4 s. Erlaubt ist höchstens n log n (--max-growth).");
    EXPECT_FALSE(GrowthGate(L"q.dll", p, "quadratisch"));
    EXPECT_FALSE(GrowthGate(L"q.dll", p, ""));
    p.growth = "schneller als quadratisch";
    EXPECT_TRUE(GrowthGate(L"q.dll", p, "quadratisch"));
    p.growth = "n log n";
    EXPECT_FALSE(GrowthGate(L"q.dll", p, "n log n"));
    EXPECT_TRUE(GrowthGate(L"q.dll", p, "linear"));
    p.growth.clear();  // "nicht gemessen"
    EXPECT_FALSE(GrowthGate(L"q.dll", p, "linear"));
}

}  // namespace
}  // namespace dllscope
