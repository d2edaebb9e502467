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

// The mutations that work on elements find them behind a run of '<' (as
// lengthening leaves one) and between other '>'s.
TEST(Fuzz, ElementsAreFoundBehindRunsOfOpeningBrackets) {
    const MutationKind* duplicate = nullptr;
    for (const MutationKind& k : MutationKinds())
        if (std::string(k.id) == "element-duplicated") duplicate = &k;
    ASSERT_NE(duplicate, nullptr);
    FuzzRandom random(1);
    std::wstring page = std::wstring(5000, L'<') + L"<i>a</i> > <<x <b>b</b>";
    duplicate->mutate(page, random);
    const std::wstring i = L"<i>a</i>", b = L"<b>b</b>";
    EXPECT_TRUE(page == std::wstring(5000, L'<') + i + i + L" > <<x " + b ||
                page == std::wstring(5000, L'<') + i + L" > <<x " + b + b)
        << page.substr(5000);
}

// A kind added to the list wins some choices and changes nothing else: the
// pages a seed made of the older kinds stay what they were, in order.
TEST(Fuzz, AKindAddedChangesOnlyThePagesItIsChosenFor) {
    const std::vector<std::wstring> seeds = BuiltInSeeds();
    std::vector<MutationKind> more = MutationKinds();
    more.push_back({"snowman", L"Schneemann", [](std::wstring& page, FuzzRandom& random) {
                        page.insert(random.Below(page.size() + 1), L"\x2603");
                    }});
    FuzzRandom before(5), after(5);
    int same = 0, chosen = 0;
    for (int i = 0; i < 300; ++i) {
        std::wstring kindBefore, kindAfter;
        const std::wstring page = MutatedPage(seeds, before, kindBefore);
        const std::wstring pageAfter = MutatedPage(seeds, after, kindAfter, more);
        if (kindAfter.find(L"Schneemann") != std::wstring::npos) {
            ++chosen;
            continue;
        }
        EXPECT_EQ(pageAfter, page) << i;
        EXPECT_EQ(kindAfter, kindBefore) << i;
        ++same;
    }
    EXPECT_GT(chosen, 20);
    EXPECT_GT(same, 200);
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

    // Down to a single character where one is all it takes.
    const auto hasQ = [](const std::wstring& p) { return p.find(L'Q') != std::wstring::npos; };
    EXPECT_EQ(ShrunkPage(L"abcQdef\r\nxyz", hasQ, [] { return true; }), L"Q");
    EXPECT_EQ(ShrunkPage(L"aQ", hasQ, [] { return true; }), L"Q");

    // Out of time at once: the page stays as it is.
    EXPECT_EQ(ShrunkPage(page, fails, [] { return false; }), page);
}

}  // namespace
}  // namespace dllscope
