#include "changes/line_diff.h"

#include <algorithm>
#include <functional>

namespace dllscope {

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || text[i] == '\r') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.push_back(text.substr(start, i + 1 - start));
            start = i + 1;
        }
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

namespace {

// The edit script between a[0..n) and b[0..m) by Myers' greedy algorithm;
// false when it needs more than `maxEdits` edits. `removed[i]` and
// `inserted[j]` mark the lines that are not common.
bool Myers(const std::vector<std::size_t>& a, const std::vector<std::size_t>& b,
           const std::vector<std::string_view>& la, const std::vector<std::string_view>& lb,
           std::size_t maxEdits, std::vector<bool>& removed, std::vector<bool>& inserted) {
    const long n = static_cast<long>(a.size()), m = static_cast<long>(b.size());
    const long limit = static_cast<long>(std::min<std::size_t>(maxEdits, a.size() + b.size()));
    const auto same = [&](long x, long y) { return a[x] == b[y] && la[x] == lb[y]; };
    std::vector<long> v(2 * limit + 3, 0);
    const long offset = limit + 1;
    // v before each step, only the diagonals that step can read: memory
    // grows with the square of the edits, hence the limit.
    std::vector<std::vector<long>> trace;
    long found = -1;
    for (long d = 0; d <= limit && found < 0; ++d) {
        trace.emplace_back(v.begin() + (offset - d - 1), v.begin() + (offset + d + 2));
        for (long k = -d; k <= d; k += 2) {
            long x = (k == -d || (k != d && v[offset + k - 1] < v[offset + k + 1]))
                         ? v[offset + k + 1]
                         : v[offset + k - 1] + 1;
            long y = x - k;
            while (x < n && y < m && same(x, y)) ++x, ++y;
            v[offset + k] = x;
            if (x >= n && y >= m) {
                found = d;
                break;
            }
        }
    }
    if (found < 0) return false;
    // Back through the trace: each step was one removal or one insertion.
    long x = n, y = m;
    for (long d = found; d > 0; --d) {
        const std::vector<long>& step = trace[static_cast<std::size_t>(d)];
        const auto prev = [&](long diagonal) { return step[diagonal + d + 1]; };
        const long k = x - y;
        const bool down = k == -d || (k != d && prev(k - 1) < prev(k + 1));
        const long prevK = down ? k + 1 : k - 1;
        const long prevX = prev(prevK), prevY = prevX - prevK;
        while (x > prevX && y > prevY) --x, --y;  // the common run
        if (down) {
            inserted[static_cast<std::size_t>(--y)] = true;
        } else {
            removed[static_cast<std::size_t>(--x)] = true;
        }
    }
    return true;
}

}  // namespace

LineDiff DiffLines(std::string_view before, std::string_view after, std::size_t maxEdits) {
    const std::vector<std::string_view> a = SplitLines(before), b = SplitLines(after);
    // The common beginning and end need no search.
    std::size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
    std::size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    const std::vector<std::string_view> midA(a.begin() + head, a.end() - tail);
    const std::vector<std::string_view> midB(b.begin() + head, b.end() - tail);
    std::vector<std::size_t> ha, hb;
    const std::hash<std::string_view> hash;
    for (const auto& l : midA) ha.push_back(hash(l));
    for (const auto& l : midB) hb.push_back(hash(l));
    std::vector<bool> removed(midA.size(), false), inserted(midB.size(), false);
    if (!Myers(ha, hb, midA, midB, maxEdits, removed, inserted)) {
        removed.assign(midA.size(), true);
        inserted.assign(midB.size(), true);
    }

    LineDiff diff;
    for (std::size_t i = 0; i < head; ++i) diff.lines.push_back({LineKind::Same, a[i]});
    // Each block: its removed lines, then its inserted ones.
    std::size_t i = 0, j = 0;
    std::size_t blockRemoved = 0, blockInserted = 0;
    const auto closeBlock = [&] {
        const std::size_t changed = std::min(blockRemoved, blockInserted);
        diff.counts.changed += changed;
        diff.counts.removed += blockRemoved - changed;
        diff.counts.inserted += blockInserted - changed;
        blockRemoved = blockInserted = 0;
    };
    while (i < midA.size() || j < midB.size()) {
        if ((i < midA.size() && removed[i]) || (j < midB.size() && inserted[j])) {
            if (blockRemoved + blockInserted == 0) diff.blocks.push_back(diff.lines.size());
            while (i < midA.size() && removed[i]) {
                diff.lines.push_back({LineKind::Removed, midA[i++]});
                ++blockRemoved;
            }
            while (j < midB.size() && inserted[j]) {
                diff.lines.push_back({LineKind::Inserted, midB[j++]});
                ++blockInserted;
            }
            continue;
        }
        closeBlock();
        diff.lines.push_back({LineKind::Same, midB[j]});
        ++i, ++j;
    }
    closeBlock();
    for (std::size_t t = b.size() - tail; t < b.size(); ++t)
        diff.lines.push_back({LineKind::Same, b[t]});
    return diff;
}

}  // namespace dllscope
