// The growth --profile fits to its measurements, and its words.
#include "check/profile.h"

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

}  // namespace
}  // namespace dllscope
