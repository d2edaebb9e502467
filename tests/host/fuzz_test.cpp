// The pages --fuzz makes and the shrinking of a failing one, against a
// predicate standing in for the plugin.
#include "check/fuzz.h"

#include <gtest/gtest.h>

namespace dllscope {
namespace {

TEST(Fuzz, ASeedGivesTheSamePagesAndAnotherSeedOthers) {
    const std::vector<std::wstring> seeds = BuiltInSeeds();
    FuzzRandom a(42), b(42), c(43);
    std::wstring kindA, kindB, kindC;
    int differentFromSeed = 0, differentFromC = 0;
    for (int i = 0; i < 200; ++i) {
        const std::wstring pageA = MutatedPage(seeds, a, kindA);
        EXPECT_EQ(pageA, MutatedPage(seeds, b, kindB)) << i;
        EXPECT_EQ(kindA, kindB);
        differentFromC += pageA != MutatedPage(seeds, c, kindC);
        differentFromSeed += std::find(seeds.begin(), seeds.end(), pageA) == seeds.end();
    }
    EXPECT_GT(differentFromC, 150);
    EXPECT_GT(differentFromSeed, 150);  // a mutation mostly changes its page
}

// The plugin fails on a reference beyond U+10FFFF; its smallest failing
// page is that reference, and no character of it can go.
TEST(Fuzz, AFailingPageShrinksToOneWhoseEveryCharacterIsNeeded) {
    const std::wstring reference = L"&#x110000;";
    const auto fails = [&](const std::wstring& page) {
        return page.find(reference) != std::wstring::npos;
    };
    std::wstring page = BuiltInSeeds()[0];
    page.insert(page.size() / 2, L"<b>" + reference + L"</b>\r\n" + std::wstring(300, L'x'));
    int tries = 0;
    const std::wstring smallest = ShrunkPage(
        page, [&](const std::wstring& p) { return ++tries, fails(p); }, [] { return true; });
    EXPECT_EQ(smallest, reference);
    for (std::size_t i = 0; i < smallest.size(); ++i)
        EXPECT_FALSE(fails(std::wstring(smallest).erase(i, 1))) << i;
    EXPECT_LT(tries, 2000);

    // Out of time at once: the page stays as it is.
    EXPECT_EQ(ShrunkPage(page, fails, [] { return false; }), page);
}

}  // namespace
}  // namespace dllscope
