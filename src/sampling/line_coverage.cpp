#include "sampling/line_coverage.h"

#include <algorithm>
#include <cwchar>
#include <utility>

#include "common/utf8.h"
#include "symbols/module_symbols.h"
#include "symbols/pe_layout.h"

namespace dllscope {

namespace {

constexpr std::size_t kMaxStrings = 1000;

void ReadStrings(const PeLayout& pe, std::vector<std::wstring>& strings) {
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

// Where the exports' code begins.
std::vector<std::uint32_t> ExportStarts(const PeLayout& pe) {
    std::vector<std::uint32_t> starts;
    for (const PeExport& e : pe.exports) starts.push_back(CodeStart(pe, e.rva));
    return starts;
}

}  // namespace

CoverageMap::CoverageMap(std::string_view moduleFile, const std::wstring& name) {
    const ModuleSymbols symbols(moduleFile);
    if (!symbols.Valid()) return;
    const PeLayout pe = ReadPeLayout(moduleFile);
    ReadStrings(pe, strings_);
    if (symbols.HasLines()) ByLines(symbols.Lines(), symbols, ExportStarts(pe));
    if (rvas_.empty()) ByFunctions(symbols, name);
}

CoverageMap::CoverageMap(std::string_view moduleFile, const LineTable& lines) {
    const ModuleSymbols symbols(moduleFile);
    if (!symbols.Valid()) return;
    const PeLayout pe = ReadPeLayout(moduleFile);
    ReadStrings(pe, strings_);
    ByLines(lines, symbols, ExportStarts(pe));
}

void CoverageMap::ByLines(const LineTable& table, const ModuleSymbols& symbols,
                          const std::vector<std::uint32_t>& exports) {
    // A path each compile unit names again is one file.
    std::vector<std::uint32_t> same;
    for (const std::string& path : table.files) {
        const std::wstring file = FromUtf8(path);
        const auto known = std::find(files_.begin(), files_.end(), file);
        same.push_back(static_cast<std::uint32_t>(known - files_.begin()));
        if (known == files_.end()) files_.push_back(file);
    }
    std::vector<LineTable::Start> starts;
    for (LineTable::Start s : table.starts) {
        if (s.file >= same.size() || s.function >= table.functions.size() || !symbols.InCode(s.rva))
            continue;
        s.file = same[s.file];
        starts.push_back(s);
    }
    // The author's files: those in the folders of the files the exports
    // begin in, or below them; the C runtime's and the system's headers are
    // not theirs.
    std::vector<std::wstring> folders;
    for (std::uint32_t rva : exports) {
        const auto at =
            std::lower_bound(starts.begin(), starts.end(), rva,
                             [](const LineTable::Start& s, std::uint32_t r) { return s.rva < r; });
        if (at == starts.end() || at->rva != rva) continue;
        const std::wstring& file = files_[at->file];
        const std::size_t slash = file.find_last_of(L"/\\");
        if (slash != std::wstring::npos) folders.push_back(file.substr(0, slash + 1));
    }
    const auto own = [&](std::uint32_t file) {
        return std::any_of(folders.begin(), folders.end(), [&](const std::wstring& folder) {
            return files_[file].compare(0, folder.size(), folder) == 0;
        });
    };
    starts.erase(std::remove_if(starts.begin(), starts.end(),
                                [&](const LineTable::Start& s) { return !own(s.file); }),
                 starts.end());
    // Each line once, by file and line; its function from its first address.
    std::vector<std::pair<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t>> keys;
    keys.reserve(starts.size());
    for (const LineTable::Start& s : starts) keys.push_back({{s.file, s.line}, s.function});
    std::sort(keys.begin(), keys.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (i > 0 && keys[i].first == keys[i - 1].first) continue;
        lines_.push_back(
            {keys[i].first.first, keys[i].first.second, FromUtf8(table.functions[keys[i].second])});
    }
    rvas_.reserve(starts.size());
    lineOf_.reserve(starts.size());
    for (const LineTable::Start& s : starts) {  // by rva
        const auto at =
            std::lower_bound(lines_.begin(), lines_.end(), s, [](const Line& l, auto& v) {
                return std::make_pair(l.file, l.line) < std::make_pair(v.file, v.line);
            });
        rvas_.push_back(s.rva);
        lineOf_.push_back(static_cast<std::uint32_t>(at - lines_.begin()));
    }
}

// Each function start once, named where an export begins there, else by
// its address ("+0x1A40"); all the module's functions count, its C
// runtime's too: nothing tells them apart.
void CoverageMap::ByFunctions(const ModuleSymbols& symbols, const std::wstring& name) {
    functions_ = true;
    files_ = {name};
    for (const PeFunction& f : symbols.Functions()) rvas_.push_back(f.begin);
    for (const PeExport& e : symbols.Exports()) rvas_.push_back(e.rva);
    std::sort(rvas_.begin(), rvas_.end());
    rvas_.erase(std::unique(rvas_.begin(), rvas_.end()), rvas_.end());
    rvas_.erase(std::remove_if(rvas_.begin(), rvas_.end(),
                               [&](std::uint32_t rva) { return !symbols.InCode(rva); }),
                rvas_.end());
    for (std::uint32_t rva : rvas_) {
        const auto e = std::find_if(symbols.Exports().begin(), symbols.Exports().end(),
                                    [rva](const PeExport& x) { return x.rva == rva; });
        wchar_t offset[16];
        std::swprintf(offset, 16, L"+0x%X", static_cast<unsigned>(rva));
        lineOf_.push_back(static_cast<std::uint32_t>(lines_.size()));
        lines_.push_back({0, rva, e == symbols.Exports().end() ? offset : FromUtf8(e->name)});
    }
}

LineCoverage CoverageMap::Of(const std::uint8_t* reached, std::size_t count) const {
    std::vector<bool> lineReached(lines_.size(), false);
    for (std::size_t i = 0; i < rvas_.size() && i < count; ++i)
        if (reached[i]) lineReached[lineOf_[i]] = true;
    LineCoverage c;
    c.functions = functions_;
    c.linesTotal = lines_.size();
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        const std::wstring& file = files_[line.file];
        if (c.files.empty() || c.files.back().file != file)
            c.files.push_back({file, {}, {}, {}, {}});
        FileCoverage& f = c.files.back();
        if (lineReached[i]) {
            ++c.linesReached;
            f.reached.push_back(line.line);
            if (functions_) f.reachedNames.push_back(line.function);
            continue;
        }
        f.missed.push_back(line.line);
        if (functions_) f.missedNames.push_back(line.function);
        // A missed line goes on the stretch of the missed line before it in
        // the same file and function; a reached line between them ends it.
        const bool goesOn = !functions_ && i > 0 && !lineReached[i - 1] &&
                            lines_[i - 1].file == line.file &&
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
