#include "changes/unified_diff.h"

#include <algorithm>

#include "changes/line_diff.h"

namespace dllscope {
namespace {

// A line of a hunk with its mark; a changed line break shows as such.
void AppendLine(const DiffLine& l, std::string& out) {
    std::string text(l.text);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    out += (l.kind == LineKind::Same ? " " : l.kind == LineKind::Removed ? "-" : "+") + text;
    const std::string_view broken = l.text.substr(text.size());
    if (broken == "\r\n")
        out += "\n";
    else if (broken == "\n")
        out += "  [LF]\n";
    else if (broken == "\r")
        out += "  [CR]\n";
    else
        out += "\n\\ Kein Zeilenumbruch am Ende\n";
}

}  // namespace

std::string UnifiedDiff(const std::string& expected, const std::string& actual,
                        const std::string& expectedName, const std::string& actualName) {
    if (expected == actual) return std::string();
    const LineDiff diff = DiffLines(expected, actual);
    // Each line with its numbers in both texts.
    struct Numbered {
        const DiffLine* line;
        std::size_t a, b;  // 1-based line before it in each text
    };
    std::vector<Numbered> lines;
    std::size_t a = 0, b = 0;
    for (const DiffLine& l : diff.lines) {
        lines.push_back({&l, a, b});
        if (l.kind != LineKind::Inserted) ++a;
        if (l.kind != LineKind::Removed) ++b;
    }
    std::string out = "--- " + expectedName + "\n+++ " + actualName + "\n";
    constexpr std::size_t kContext = 3;
    std::size_t i = 0;
    while (i < lines.size()) {
        if (lines[i].line->kind == LineKind::Same) {
            ++i;
            continue;
        }
        // A hunk: from three lines before this change to three after the last
        // change that lies within six lines of the one before.
        std::size_t start = i >= kContext ? i - kContext : 0, end = i;
        for (std::size_t j = i; j < lines.size(); ++j) {
            if (lines[j].line->kind != LineKind::Same)
                end = j;
            else if (j - end > 2 * kContext)
                break;
        }
        const std::size_t stop = std::min(lines.size(), end + kContext + 1);
        std::size_t countA = 0, countB = 0;
        for (std::size_t j = start; j < stop; ++j) {
            countA += lines[j].line->kind != LineKind::Inserted;
            countB += lines[j].line->kind != LineKind::Removed;
        }
        out += "@@ -" + std::to_string(lines[start].a + (countA ? 1 : 0)) + "," +
               std::to_string(countA) + " +" + std::to_string(lines[start].b + (countB ? 1 : 0)) +
               "," + std::to_string(countB) + " @@\n";
        for (std::size_t j = start; j < stop; ++j) AppendLine(*lines[j].line, out);
        i = stop;
    }
    return out;
}

}  // namespace dllscope
