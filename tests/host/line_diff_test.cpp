#include "changes/line_diff.h"
#include "changes/unified_diff.h"

#include <algorithm>

#include <random>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace dllscope {
namespace {

using ::testing::ElementsAre;

std::string Kinds(const LineDiff& d) {
    std::string s;
    for (const DiffLine& l : d.lines)
        s += l.kind == LineKind::Same ? '=' : l.kind == LineKind::Removed ? '-' : '+';
    return s;
}

TEST(LineDiff, LinesKeepTheirBreaksAndAChangedBreakIsAChange) {
    EXPECT_THAT(SplitLines("a\r\nb\nc\rd"), ElementsAre("a\r\n", "b\n", "c\r", "d"));
    EXPECT_THAT(SplitLines("a\n\nb\r\rc"), ElementsAre("a\n", "\n", "b\r", "\r", "c"));
    EXPECT_TRUE(SplitLines("").empty());
    const LineDiff d = DiffLines("a\r\nb\r\nc\r\n", "a\r\nb\nc\r\n");
    EXPECT_EQ(Kinds(d), "=-+=");
    EXPECT_EQ(d.counts, (LineCounts{0, 0, 1}));
}

TEST(LineDiff, BlocksCountRemovedInsertedAndChangedLines) {
    const LineDiff same = DiffLines("x\ny\n", "x\ny\n");
    EXPECT_EQ(Kinds(same), "==");
    EXPECT_TRUE(same.blocks.empty());

    // One line changed, one removed, two inserted, each in a block of its own.
    const LineDiff d = DiffLines("1\n2\n3\n4\n5\n6\n7\n", "1\nzwei\n3\n5\n6\nneu\nneu\n7\n");
    EXPECT_EQ(Kinds(d), "=-+=-==++=");
    EXPECT_THAT(d.blocks, ElementsAre(1u, 4u, 7u));
    EXPECT_EQ(d.counts, (LineCounts{1, 2, 1}));
    EXPECT_EQ(d.lines[2].text, "zwei\n");
}

// The script is minimal (as long as the longest common subsequence allows)
// and gives back both texts, on random small texts of few distinct lines.
TEST(LineDiff, IsAShortestScriptThatGivesBackBothTexts) {
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::string a, b;
        const auto fill = [&](std::string& t) {
            for (int n = random() % 12; n > 0; --n) t += std::string(1, "abcd"[random() % 4]) + "\n";
        };
        fill(a);
        fill(b);
        const LineDiff d = DiffLines(a, b);
        std::string back, forth;
        std::size_t edits = 0;
        for (const DiffLine& l : d.lines) {
            if (l.kind != LineKind::Inserted) back += l.text;
            if (l.kind != LineKind::Removed) forth += l.text;
            edits += l.kind != LineKind::Same;
        }
        ASSERT_EQ(back, a);
        ASSERT_EQ(forth, b);
        // The longest common subsequence, by the table.
        const auto la = SplitLines(a), lb = SplitLines(b);
        std::vector<std::vector<std::size_t>> t(la.size() + 1,
                                                std::vector<std::size_t>(lb.size() + 1, 0));
        for (std::size_t i = 1; i <= la.size(); ++i)
            for (std::size_t j = 1; j <= lb.size(); ++j)
                t[i][j] = la[i - 1] == lb[j - 1] ? t[i - 1][j - 1] + 1
                                                 : std::max(t[i - 1][j], t[i][j - 1]);
        ASSERT_EQ(edits, la.size() + lb.size() - 2 * t[la.size()][lb.size()]) << a << "|" << b;
    }
}

TEST(LineDiff, BeyondTheLimitTheMiddleIsOneBlock) {
    // Exactly as many edits as allowed: still the shortest script.
    const std::string kinds = Kinds(DiffLines("a\nm\nb\n", "x\nm\ny\n", 4));
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), '='), 1) << kinds;
    const LineDiff d = DiffLines("kopf\na\nb\nc\nfuss\n", "kopf\nx\ny\nfuss\n", 2);
    EXPECT_EQ(Kinds(d), "=---++=");
    EXPECT_THAT(d.blocks, ElementsAre(1u));
    EXPECT_EQ(d.counts, (LineCounts{1, 0, 2}));
}

// Hunks of three lines of context, their headers counting from 1; a changed
// line break is shown, a last line without one said.
TEST(UnifiedDiff, HunksWithContextAndTheLineBreaksShown) {
    EXPECT_EQ(UnifiedDiff("a\n", "a\n", "e", "r"), "");
    std::string before, after;
    for (int i = 1; i <= 20; ++i) {
        before += std::to_string(i) + "\n";
        after += (i == 10 ? std::string("zehn") : std::to_string(i)) + "\n";
    }
    EXPECT_EQ(UnifiedDiff(before, after, "erwartet.html", "Ergebnis"),
              "--- erwartet.html\n+++ Ergebnis\n@@ -7,7 +7,7 @@\n 7  [LF]\n 8  [LF]\n 9  [LF]\n"
              "-10  [LF]\n+zehn  [LF]\n 11  [LF]\n 12  [LF]\n 13  [LF]\n");
    EXPECT_EQ(UnifiedDiff("a\r\nb\r\n", "a\r\nb", "e", "r"),
              "--- e\n+++ r\n@@ -1,2 +1,2 @@\n a\n-b\n+b\n\\ Kein Zeilenumbruch am Ende\n");
    EXPECT_EQ(UnifiedDiff("a\r\n", "a\r", "e", "r"), "--- e\n+++ r\n@@ -1,1 +1,1 @@\n-a\n+a  [CR]\n");
}

// Changes whose contexts would meet share a hunk (up to six equal lines
// between them); further apart, each has its own, and no line is shown twice.
TEST(UnifiedDiff, ChangesWithinSixLinesShareAHunk) {
    const auto changed = [](std::initializer_list<int> at) {
        std::string text;
        for (int i = 1; i <= 30; ++i)
            text += (std::find(at.begin(), at.end(), i) != at.end() ? "x" : std::to_string(i)) +
                    "\n";
        return text;
    };
    const auto hunks = [](const std::string& diff) {
        std::size_t n = 0;
        for (std::size_t at = diff.find("\n@@ "); at != std::string::npos;
             at = diff.find("\n@@ ", at + 1))
            ++n;
        return n;
    };
    const std::string before = changed({});
    const std::string near = UnifiedDiff(before, changed({5, 10}), "e", "r");
    EXPECT_EQ(hunks(near), 1u) << near;
    EXPECT_NE(near.find("@@ -2,12 +2,12 @@"), std::string::npos) << near;
    EXPECT_EQ(near.find("\n 7  [LF]"), near.rfind("\n 7  [LF]"));
    EXPECT_EQ(hunks(UnifiedDiff(before, changed({5, 12}), "e", "r")), 1u);
    const std::string far = UnifiedDiff(before, changed({5, 13}), "e", "r");
    EXPECT_EQ(hunks(far), 2u) << far;
    EXPECT_NE(far.find("@@ -2,7 +2,7 @@"), std::string::npos) << far;
    EXPECT_NE(far.find("@@ -10,7 +10,7 @@"), std::string::npos) << far;
}

}  // namespace
}  // namespace dllscope
