#pragma once
// Which lines a run changed: the texts before and after, cut into lines, and
// the shortest list of lines removed and inserted that turns the one into
// the other (Myers' algorithm over line hashes). A text is UTF-8; a line
// keeps its line break, so that a changed line break is a change.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace dllscope {

enum class LineKind { Same, Removed, Inserted };

struct DiffLine {
    LineKind kind;
    std::string_view text;  // into the before or after text, with its line break
};

struct LineCounts {
    std::size_t removed = 0, inserted = 0;
    // A removed line facing an inserted one in the same block: counted here,
    // not as removed and inserted.
    std::size_t changed = 0;
    bool operator==(const LineCounts& o) const {
        return removed == o.removed && inserted == o.inserted && changed == o.changed;
    }
};

struct LineDiff {
    std::vector<DiffLine> lines;  // every line of both texts once, in order
    LineCounts counts;
    // Where each block of changes begins (an index into `lines`).
    std::vector<std::size_t> blocks;
};

// A run that changed Form1's pane: what it was before and after (UTF-8).
struct ChangingRun {
    std::wstring plugin;  // the file name
    std::wstring time;    // "14:03:27"
    std::string before, after;
};

// The lines of a text, each with its line break (CRLF, LF or CR).
std::vector<std::string_view> SplitLines(std::string_view text);

// The difference of two texts. Beyond `maxEdits` removed and inserted lines
// (the search's memory grows with their square: 2000 take about 32 MB) it
// stops searching for the shortest one and gives the part between the common
// beginning and end as one block.
LineDiff DiffLines(std::string_view before, std::string_view after, std::size_t maxEdits = 2000);

}  // namespace dllscope
