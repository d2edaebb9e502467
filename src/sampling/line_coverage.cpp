#include "sampling/line_coverage.h"

#include <algorithm>
#include <utility>

#include "common/utf8.h"
#include "symbols/module_symbols.h"
#include "symbols/pe_layout.h"

namespace dllscope {

namespace {

constexpr std::size_t kMaxStrings = 1000;

void ReadStrings(std::string_view file, std::vector<std::wstring>& strings) {
    const PeLayout pe = ReadPeLayout(file);
    for (const PeSection& section : pe.sections) {
        if (section.name != ".rdata") continue;
        const std::string_view bytes = section.bytes;
        for (std::size_t i = 0; i < bytes.size() && strings.size() < kMaxStrings;) {
            std::size_t end = i;
            while (end < bytes.size() && bytes[end] >= 0x20 && bytes[end] < 0x7F) ++end;
            const std::size_t n = end - i;
            if (n >= 3 && n <= 40) {
                std::wstring text(bytes.begin() + i, bytes.begin() + end);
                if (std::find(strings.begin(), strings.end(), text) == strings.end())
                    strings.push_back(std::move(text));
            }
            i = end + 1;
        }
    }
}

}  // namespace

CoverageMap::CoverageMap(std::string_view moduleFile) {
    const ModuleSymbols symbols(moduleFile);
    if (!symbols.Valid() || !symbols.HasLines()) return;
    ReadStrings(moduleFile, strings_);
    // A path each compile unit names again is one file.
    std::vector<std::uint32_t> same;
    for (const std::string& path : symbols.Files()) {
        const std::wstring file = FromUtf8(path);
        const auto known = std::find(files_.begin(), files_.end(), file);
        same.push_back(static_cast<std::uint32_t>(known - files_.begin()));
        if (known == files_.end()) files_.push_back(file);
    }
    std::vector<ModuleSymbols::LineStart> starts = symbols.LineStarts();
    for (ModuleSymbols::LineStart& s : starts) s.file = same[s.file];
    // The author's files: those in the folders of the files the exports
    // lie in, or below them; the C runtime's and the system's headers are
    // not theirs.
    std::vector<std::wstring> folders;
    for (const PeExport& e : symbols.Exports()) {
        const std::wstring file = FromUtf8(symbols.At(e.rva).file);
        const std::size_t slash = file.find_last_of(L"/\\");
        if (slash != std::wstring::npos) folders.push_back(file.substr(0, slash + 1));
    }
    const auto own = [&](std::uint32_t file) {
        return std::any_of(folders.begin(), folders.end(), [&](const std::wstring& folder) {
            return files_[file].compare(0, folder.size(), folder) == 0;
        });
    };
    starts.erase(std::remove_if(starts.begin(), starts.end(),
                                [&](const ModuleSymbols::LineStart& s) { return !own(s.file); }),
                 starts.end());
    // Each line once, by file and line; its function from its first address.
    std::vector<std::pair<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t>> keys;
    keys.reserve(starts.size());
    for (const ModuleSymbols::LineStart& s : starts) keys.push_back({{s.file, s.line}, s.rva});
    std::sort(keys.begin(), keys.end());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (i > 0 && keys[i].first == keys[i - 1].first) continue;
        lines_.push_back({keys[i].first.first, keys[i].first.second,
                          FromUtf8(symbols.At(keys[i].second).function)});
    }
    rvas_.reserve(starts.size());
    lineOf_.reserve(starts.size());
    for (const ModuleSymbols::LineStart& s : starts) {  // by rva
        const auto at =
            std::lower_bound(lines_.begin(), lines_.end(), s, [](const Line& l, auto& v) {
                return std::make_pair(l.file, l.line) < std::make_pair(v.file, v.line);
            });
        rvas_.push_back(s.rva);
        lineOf_.push_back(static_cast<std::uint32_t>(at - lines_.begin()));
    }
}

LineCoverage CoverageMap::Of(const std::uint8_t* reached, std::size_t count) const {
    std::vector<bool> lineReached(lines_.size(), false);
    for (std::size_t i = 0; i < rvas_.size() && i < count; ++i)
        if (reached[i]) lineReached[lineOf_[i]] = true;
    LineCoverage c;
    c.linesTotal = lines_.size();
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        const std::wstring& file = files_[line.file];
        if (c.files.empty() || c.files.back().file != file) c.files.push_back({file, {}, {}});
        FileCoverage& f = c.files.back();
        if (lineReached[i]) {
            ++c.linesReached;
            f.reached.push_back(line.line);
            continue;
        }
        f.missed.push_back(line.line);
        // A missed line goes on the stretch of the missed line before it in
        // the same file and function; a reached line between them ends it.
        const bool goesOn = i > 0 && !lineReached[i - 1] && lines_[i - 1].file == line.file &&
                            lines_[i - 1].function == line.function && !c.stretches.empty();
        if (goesOn) {
            c.stretches.back().to = line.line;
        } else {
            c.stretches.push_back({file, line.line, line.line, line.function});
        }
    }
    return c;
}

}  // namespace dllscope
