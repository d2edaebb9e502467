#include "symbols/module_symbols.h"

#include <algorithm>

namespace dllscope {
namespace {

DwarfSections Dwarf(const PeLayout& pe) {
    DwarfSections s;
    s.info = pe.Section(".debug_info");
    s.abbrev = pe.Section(".debug_abbrev");
    s.line = pe.Section(".debug_line");
    s.str = pe.Section(".debug_str");
    s.lineStr = pe.Section(".debug_line_str");
    s.strOffsets = pe.Section(".debug_str_offsets");
    s.addr = pe.Section(".debug_addr");
    s.ranges = pe.Section(".debug_ranges");
    s.rngLists = pe.Section(".debug_rnglists");
    return s;
}

// The innermost function holding `address`: functions nest (Pascal's local
// procedures), so of those that hold it the smallest.
template <class Functions>
const typename Functions::value_type* Innermost(const Functions& functions, std::uint64_t address) {
    auto it = std::upper_bound(functions.begin(), functions.end(), address,
                               [](std::uint64_t a, const auto& f) { return a < f.begin; });
    const typename Functions::value_type* best = nullptr;
    for (int looked = 0; it != functions.begin() && looked < 64; ++looked) {
        --it;
        if (address < it->end && (!best || it->end - it->begin < best->end - best->begin))
            best = &*it;
    }
    return best;
}

}  // namespace

ModuleSymbols::ModuleSymbols(std::string_view bytes, std::uint64_t steps) {
    const PeLayout pe = ReadPeLayout(bytes);
    if (!pe.valid) return;
    valid_ = true;
    bits_ = pe.bits;
    codeView_ = pe.codeView;
    imageBase_ = pe.imageBase;
    functions_ = pe.functions;
    exports_ = pe.exports;
    for (const PeSection& section : pe.sections)
        if (section.code) code_.push_back({section.rva, section.rva + section.size});
    const DwarfSections dwarf = Dwarf(pe);
    debugSections_ = !dwarf.info.empty() || !dwarf.line.empty();
    ReadBudget budget{steps};
    ReadDwarf(dwarf, budget, info_);
    const auto byBegin = [](const auto& a, const auto& b) { return a.begin < b.begin; };
    std::sort(info_.rows.begin(), info_.rows.end(), byBegin);
    std::sort(info_.functions.begin(), info_.functions.end(), byBegin);
}

SourcePlace ModuleSymbols::At(std::uint32_t rva, bool caller) const {
    SourcePlace place;
    if (!valid_) return place;
    if (caller && rva > 0) --rva;
    const std::uint64_t address = imageBase_ + rva;
    const auto row = Innermost(info_.rows, address);
    if (row) {
        place.file = info_.files[row->file];
        place.line = row->line;
    }
    if (!FunctionAt(address, place)) ExportAt(rva, place);
    return place;
}

bool ModuleSymbols::FunctionAt(std::uint64_t address, SourcePlace& place) const {
    const auto f = Innermost(info_.functions, address);
    if (!f || f->name >= info_.names.size() || info_.names[f->name].empty()) return false;
    place.function = info_.names[f->name];
    place.offset = static_cast<std::uint32_t>(address - f->begin);
    return true;
}

// An export names the function that holds rva only where the unwind table
// says where that function begins and ends, and the export is its start.
bool ModuleSymbols::ExportAt(std::uint32_t rva, SourcePlace& place) const {
    const auto extent = Innermost(functions_, rva);
    if (!extent) return false;
    const auto it = std::lower_bound(exports_.begin(), exports_.end(), extent->begin,
                                     [](const PeExport& e, std::uint32_t r) { return e.rva < r; });
    if (it == exports_.end() || it->rva != extent->begin) return false;
    place.function = it->name;
    place.offset = rva - extent->begin;
    return true;
}

bool ModuleSymbols::Extent(std::uint32_t rva, std::uint32_t& begin, std::uint32_t& end) const {
    if (const auto f = Innermost(info_.functions, imageBase_ + rva)) {
        begin = static_cast<std::uint32_t>(f->begin - imageBase_);
        end = static_cast<std::uint32_t>(f->end - imageBase_);
        return true;
    }
    if (const auto f = Innermost(functions_, rva)) {
        begin = f->begin, end = f->end;
        return true;
    }
    return false;
}

bool ModuleSymbols::InCode(std::uint32_t rva) const {
    return std::any_of(code_.begin(), code_.end(),
                       [rva](const PeFunction& c) { return rva >= c.begin && rva < c.end; });
}

std::vector<ModuleSymbols::LineStart> ModuleSymbols::LineStarts() const {
    std::vector<LineStart> starts;
    for (const DebugInfo::Row& row : info_.rows) {  // by begin
        if (row.line == 0 || row.end <= row.begin || row.begin < imageBase_) continue;
        const std::uint64_t rva = row.begin - imageBase_;
        if (rva > 0xFFFFFFFFu || !InCode(static_cast<std::uint32_t>(rva)) ||
            row.file >= info_.files.size())
            continue;
        if (!starts.empty() && starts.back().rva == rva) continue;
        starts.push_back({static_cast<std::uint32_t>(rva), row.file, row.line});
    }
    return starts;
}

LineTable ModuleSymbols::Lines() const {
    LineTable table;
    table.files = info_.files;
    for (const LineStart& s : LineStarts()) table.starts.push_back({s.rva, s.file, s.line, 0});
    table.NameFunctions([this](std::uint32_t rva) { return At(rva).function; });
    return table;
}

}  // namespace dllscope
