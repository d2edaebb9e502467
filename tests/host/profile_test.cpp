// The growth --profile fits to its measurements, its words, and the run it
// samples for where the time goes.
#include "check/profile.h"

#include "check/profile_run.h"

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
    EXPECT_EQ(GrowthWords(l, 16 * 1024, 800), L"wächst linear (Exponent 1,0): 16 KiB brauchen 0,8 s");
    EXPECT_EQ(SecondsWords(30829000), L"8,6 Stunden");
}

TEST(Profile, APageOfAnySizeIsMadeFromTheSeeds) {
    EXPECT_EQ(PageOfSize({L"abc", L"de"}, 12), L"abcdeabcdeab");
    EXPECT_EQ(PageOfSize({L""}, 5), L"");
    EXPECT_EQ(PageOfSize({}, 5), L"");
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

}  // namespace
}  // namespace dllscope
