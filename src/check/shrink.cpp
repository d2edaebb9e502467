// The shrinking of a failing page (fuzz.h): delta debugging over its lines,
// then its characters, then runs of one character halved.
#include <algorithm>

#include "check/fuzz.h"

namespace dllscope {

namespace {

// Delta debugging over the page cut into `units`: leaves out chunks, then
// their complements, with finer chunks until single units.
std::vector<std::wstring> Minimized(
    std::vector<std::wstring> units,
    const std::function<bool(const std::vector<std::wstring>&)>& fails,
    const std::function<bool()>& withinTime) {
    std::size_t chunks = 2;
    while (units.size() >= 2 && withinTime()) {
        const std::size_t size = (units.size() + chunks - 1) / chunks;
        bool reduced = false;
        for (std::size_t at = 0; at < units.size() && withinTime(); at += size) {
            std::vector<std::wstring> without(units.begin(), units.begin() + at);
            without.insert(without.end(), units.begin() + std::min(units.size(), at + size),
                           units.end());
            if (!without.empty() && fails(without)) {
                units = std::move(without);
                chunks = std::max<std::size_t>(chunks - 1, 2);
                reduced = true;
                break;
            }
        }
        if (reduced) continue;
        if (size == 1) break;
        chunks = std::min(units.size(), chunks * 2);
    }
    return units;
}

std::wstring Joined(const std::vector<std::wstring>& units) {
    std::wstring page;
    for (const std::wstring& u : units) page += u;
    return page;
}

}  // namespace

std::wstring ShrunkPage(const std::wstring& page,
                        const std::function<bool(const std::wstring&)>& fails,
                        const std::function<bool()>& withinTime) {
    const auto joinedFails = [&](const std::vector<std::wstring>& units) {
        return fails(Joined(units));
    };
    // Lines first (each with its break), then characters.
    std::vector<std::wstring> lines;
    for (std::size_t at = 0; at < page.size();) {
        std::size_t end = page.find(L'\n', at);
        end = end == std::wstring::npos ? page.size() : end + 1;
        lines.push_back(page.substr(at, end - at));
        at = end;
    }
    std::wstring shrunk = Joined(Minimized(lines, joinedFails, withinTime));
    std::vector<std::wstring> characters;
    for (const wchar_t c : shrunk) characters.emplace_back(1, c);
    shrunk = Joined(Minimized(characters, joinedFails, withinTime));
    // A run of one character kept whole by the steps above: halved while it fails.
    for (std::size_t at = 0; at < shrunk.size() && withinTime();) {
        std::size_t end = at;
        while (end < shrunk.size() && shrunk[end] == shrunk[at]) ++end;
        std::size_t run = end - at;
        while (run > 1 && withinTime()) {
            std::wstring shorter = shrunk;
            shorter.erase(at, run / 2);
            if (!fails(shorter)) break;
            shrunk = std::move(shorter);
            run -= run / 2;
        }
        at += run;
    }
    return shrunk;
}

}  // namespace dllscope
