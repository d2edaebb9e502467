#include "sampling/code_samples.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "common/paths.h"

namespace dllscope {
namespace {

// The sample's innermost frame in the module, or null.
const StackFrame* InModule(const SampledStack& sample, const std::wstring& own,
                           std::size_t* at = nullptr) {
    for (std::size_t i = 0; i < sample.size(); ++i) {
        if (LowerName(sample[i].module) != own) continue;
        if (at) *at = i;
        return &sample[i];
    }
    return nullptr;
}

bool HasLine(const StackFrame& f) { return f.line != 0 && !f.file.empty(); }

// A line of source, or without one the function (else the place itself):
// what the samples are counted by.
using LineKey = std::tuple<std::wstring, std::uint32_t, std::wstring>;
LineKey KeyOf(const StackFrame& f) {
    if (HasLine(f)) return {f.file, f.line, f.function};
    return {std::wstring(), 0, f.function.empty() ? f.place : f.function};
}
LineKey KeyOf(const LineShare& l) {
    if (!l.file.empty()) return {l.file, l.line, l.function};
    return {std::wstring(), 0, l.function.empty() ? l.place : l.function};
}

// "lines.dll!Rebuild" or "lines.dll+0x1A2B" for a line without source.
std::wstring PlaceWords(const LineShare& l) {
    if (l.function.empty()) return l.place;
    return l.place.substr(0, l.place.find(L'+')) + L"!" + l.function;
}

std::wstring LineWords(const LineShare& l) {
    if (l.file.empty()) return PlaceWords(l);
    const std::wstring at = SourceName(l.file) + L":" + std::to_wstring(l.line);
    return l.function.empty() ? at : at + L" (" + l.function + L")";
}

std::wstring Percent(double share) {
    return std::to_wstring(static_cast<long>(std::lround(share * 100))) + L" %";
}

}  // namespace

std::vector<LineShare> LinesOf(const std::vector<SampledStack>& samples, const std::wstring& module,
                               std::size_t limit) {
    const std::wstring own = LowerName(module);
    std::map<LineKey, std::pair<std::size_t, LineShare>> counted;
    for (const SampledStack& sample : samples) {
        const StackFrame* f = InModule(sample, own);
        if (!f) continue;
        auto& entry = counted[KeyOf(*f)];
        if (entry.first++ == 0) {
            entry.second.file = HasLine(*f) ? f->file : std::wstring();
            entry.second.line = HasLine(*f) ? f->line : 0;
            entry.second.function = f->function;
            entry.second.place = f->place;
        }
    }
    std::vector<std::pair<std::size_t, LineShare>> lines;
    for (auto& [key, entry] : counted) lines.push_back(std::move(entry));
    // The map kept the source's order: a stable sort keeps it among equals.
    std::stable_sort(lines.begin(), lines.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<LineShare> shares;
    for (std::size_t i = 0; i < lines.size() && i < limit; ++i) {
        lines[i].second.share = static_cast<double>(lines[i].first) / samples.size();
        shares.push_back(std::move(lines[i].second));
    }
    return shares;
}

std::vector<LineShare> HotLines(const std::vector<SampledStack>& samples,
                                const std::wstring& module, std::size_t limit) {
    const std::wstring own = LowerName(module);
    std::vector<SampledStack> inside;
    for (const SampledStack& s : samples)
        if (InModule(s, own)) inside.push_back(s);
    return LinesOf(inside, module, limit);
}

HangPlace PlaceOf(const std::vector<SampledStack>& samples, const std::wstring& module) {
    HangPlace place;
    place.module = module;
    place.samples = static_cast<std::uint32_t>(samples.size());
    place.lines = LinesOf(samples, module, kMaxModuleFrames);
    if (place.lines.empty()) {
        if (!samples.empty()) place.stack = samples.front();
        return place;
    }
    // The stack of the first sample at the busiest line.
    const LineKey top = KeyOf(place.lines.front());
    const std::wstring own = LowerName(module);
    for (const SampledStack& sample : samples) {
        const StackFrame* f = InModule(sample, own);
        if (f && KeyOf(*f) == top) {
            place.stack = sample;
            break;
        }
    }
    return place;
}

std::wstring HangWords(const HangPlace& place) {
    if (place.lines.empty()) return std::wstring();
    const LineShare& top = place.lines.front();
    std::wstring where = LineWords(top), inside;
    if (!top.file.empty()) {
        // All the lines of the busiest function in its file: "lines.c:42–43".
        std::uint32_t first = top.line, last = top.line;
        for (const LineShare& l : place.lines) {
            if (l.file != top.file || l.function != top.function) continue;
            first = std::min(first, l.line);
            last = std::max(last, l.line);
        }
        where = SourceName(top.file) + L":" + std::to_wstring(first);
        if (last != first) where += L"\u2013" + std::to_wstring(last);
        inside = top.function;
    }
    // Its caller: the next frame of the plugin that is another function.
    std::size_t at = 0;
    const std::wstring own = LowerName(place.module);
    if (InModule(place.stack, own, &at)) {
        for (std::size_t i = at + 1; i < place.stack.size(); ++i) {
            const StackFrame& caller = place.stack[i];
            if (LowerName(caller.module) != own || caller.function == place.stack[at].function)
                continue;
            const std::wstring named =
                caller.function.empty() ? FrameWords(caller) : caller.function;
            inside += (inside.empty() ? L"" : L", ") + std::wstring(L"aufgerufen aus ") + named;
            break;
        }
    }
    return L"hängt in " + where + (inside.empty() ? L"" : L" (" + inside + L")");
}

std::wstring HangPlaceWords(const HangPlace& place) {
    const std::wstring where = HangWords(place);
    return where.empty() ? where : L" und " + where;
}

std::wstring HangLinesHint(const HangPlace& place) {
    if (place.lines.empty() || !place.lines.front().file.empty()) return std::wstring();
    return std::wstring(L" ") + kDebugInfoHint;
}

std::wstring HotspotWords(const std::vector<LineShare>& lines) {
    std::wstring words;
    double covered = 0;
    for (std::size_t i = 0; i < lines.size() && i < 3 && covered < 0.5; ++i) {
        words += i == 0 ? Percent(lines[i].share) + L" der Zeit in " + LineWords(lines[i])
                        : L", " + Percent(lines[i].share) + L" in " + LineWords(lines[i]);
        covered += lines[i].share;
    }
    return words;
}

}  // namespace dllscope
