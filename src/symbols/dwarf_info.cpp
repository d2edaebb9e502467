// The units of .debug_info: each unit's line program, and the functions
// (subprograms with code) with their names and address ranges.
#include <algorithm>
#include <map>
#include <unordered_set>

#include "symbols/dwarf_forms.h"

namespace dllscope {
namespace {

constexpr std::uint64_t kTagCompileUnit = 0x11, kTagPartialUnit = 0x3c, kTagSkeleton = 0x4a,
                        kTagSubprogram = 0x2e;
constexpr std::size_t kMaxUnits = 1u << 16;
constexpr std::size_t kMaxRanges = 4096;

// What one entry says that the reader uses.
struct Entry {
    std::uint64_t tag = 0;
    FormValue name, lowPc, highPc, ranges, stmtList, compDir, origin;
    FormValue strOffsetsBase, addrBase, rngListsBase;
    bool highIsOffset = false, originInUnit = false, hasOrigin = false;
};

void Keep(const AbbrevAttr& a, const FormValue& v, Entry& e) {
    switch (a.name) {
        case 0x03:
            e.name = v;
            break;
        case 0x11:
            e.lowPc = v;
            break;
        case 0x12:
            e.highPc = v;
            e.highIsOffset = v.kind == FormValue::Kind::Number;
            break;
        case 0x55:
            e.ranges = v;
            break;
        case 0x10:
            e.stmtList = v;
            break;
        case 0x1b:
            e.compDir = v;
            break;
        case 0x31:
        case 0x47:  // abstract_origin, specification
            e.origin = v;
            e.hasOrigin = true;
            e.originInUnit = v.kind == FormValue::Kind::UnitRef;
            break;
        case 0x72:
            e.strOffsetsBase = v;
            break;
        case 0x73:
        case 0x2133:
            e.addrBase = v;
            break;
        case 0x74:
            e.rngListsBase = v;
            break;
        default:
            break;
    }
}

bool ReadEntry(ByteCursor& c, const Abbrev& a, const UnitHead& u, ReadBudget& budget, Entry& e) {
    e.tag = a.tag;
    for (const AbbrevAttr& attr : a.attrs) {
        FormValue v;
        if (!budget.Spend() || !ReadForm(c, attr.form, attr.implicitConst, u, v)) return false;
        Keep(attr, v, e);
    }
    return true;
}

// The ranges of DW_AT_ranges before version 5 (.debug_ranges): pairs of
// offsets from a base, which an entry of all ones sets.
template <class Add>
void ReadRangesBefore5(const DwarfSections& s, const UnitHead& u, std::uint64_t offset, Add add) {
    ByteCursor c(s.ranges);
    c.Seek(offset);
    std::uint64_t base = u.lowPc;
    const std::uint64_t all = u.addressSize == 8 ? ~std::uint64_t{0} : 0xFFFFFFFF;
    for (std::size_t i = 0; i < kMaxRanges && c.Ok(); ++i) {
        const std::uint64_t a = c.Unsigned(u.addressSize), b = c.Unsigned(u.addressSize);
        if (!c.Ok() || (a == 0 && b == 0)) return;
        if (a == all)
            base = b;
        else
            add(base + a, base + b);
    }
}

// Version 5 (.debug_rnglists): entries of kinds, at an offset or at an index
// into the unit's table of offsets.
template <class Add>
void ReadRanges(const DwarfSections& s, const UnitHead& u, const FormValue& v, Add add) {
    if (u.version < 5) return ReadRangesBefore5(s, u, v.number, add);
    ByteCursor c(s.rngLists);
    if (v.kind == FormValue::Kind::Number) {  // rnglistx
        c.Seek(u.rngListsBase);
        c.Skip(v.number * u.offsetSize);
        c.Seek(u.rngListsBase + c.Unsigned(u.offsetSize));
    } else {
        c.Seek(v.number);
    }
    std::uint64_t base = u.lowPc;
    const auto at = [&](std::uint64_t index) {
        std::uint64_t a = 0;
        FormAddress({FormValue::Kind::AddrIndex, index, {}}, s, u, a);
        return a;
    };
    const auto address = [&] { return c.Unsigned(u.addressSize); };
    for (std::size_t i = 0; i < kMaxRanges && c.Ok(); ++i) {
        std::uint64_t a = 0;
        switch (c.U8()) {
            case 1:
                base = at(c.Uleb());
                break;
            case 2:
                a = at(c.Uleb()), add(a, at(c.Uleb()));
                break;
            case 3:
                a = at(c.Uleb()), add(a, a + c.Uleb());
                break;
            case 4:
                a = c.Uleb(), add(base + a, base + c.Uleb());
                break;
            case 5:
                base = address();
                break;
            case 6:
                a = address(), add(a, address());
                break;
            case 7:
                a = address(), add(a, a + c.Uleb());
                break;
            default:
                return;  // 0 ends the list
        }
    }
}

class InfoReader {
  public:
    InfoReader(const DwarfSections& s, ReadBudget& budget, DebugInfo& info)
        : s_(s), budget_(budget), info_(info) {}

    void Run() {
        ByteCursor c(s_.info);
        for (std::size_t n = 0; n < kMaxUnits && !c.AtEnd() && !budget_.Spent(); ++n) {
            const std::uint64_t start = c.Offset();
            UnitHead u;
            if (!ReadUnitHead(c, u)) return;
            ReadUnit(c, start, u);
            c.Seek(u.end);
        }
        Resolve();
    }

  private:
    void ReadUnit(ByteCursor& c, std::uint64_t start, UnitHead& u) {
        if (u.type != 1 && u.type != 3) return;  // compile and partial units only
        AbbrevTable& abbrevs = abbrevs_[u.abbrevOffset];
        if (abbrevs.empty()) ReadAbbrevs(s_.abbrev, u.abbrevOffset, budget_, abbrevs);
        ByteCursor dies(s_.info.substr(0, u.end));
        dies.Seek(c.Offset());
        bool first = true;
        while (!dies.AtEnd() && !budget_.Spent()) {
            const std::uint64_t at = dies.Offset();
            const std::uint64_t code = dies.Uleb();
            if (code == 0) continue;
            const auto a = abbrevs.find(code);
            Entry e;
            if (a == abbrevs.end() || !ReadEntry(dies, a->second, u, budget_, e)) return;
            if (first)
                UnitEntry(e, u);
            else if (e.tag == kTagSubprogram)
                Subprogram(e, u, start, at);
            first = false;
        }
    }

    void UnitEntry(const Entry& e, UnitHead& u) {
        if (e.tag != kTagCompileUnit && e.tag != kTagPartialUnit && e.tag != kTagSkeleton) return;
        u.strOffsetsBase = e.strOffsetsBase.number;
        u.addrBase = e.addrBase.number;
        u.rngListsBase = e.rngListsBase.number;
        if (u.version >= 5 && e.strOffsetsBase.kind == FormValue::Kind::None) u.strOffsetsBase = 8;
        FormAddress(e.lowPc, s_, u, u.lowPc);
        if (e.stmtList.kind == FormValue::Kind::None || !lines_.insert(e.stmtList.number).second)
            return;
        ReadLineProgram(s_, e.stmtList.number, u.addressSize, FormText(e.compDir, s_, u), budget_,
                        info_);
    }

    void Subprogram(const Entry& e, const UnitHead& u, std::uint64_t unitStart, std::uint64_t at) {
        const std::string_view name = FormText(e.name, s_, u);
        if (named_.size() >= kMaxFunctions) return;
        Named& named = named_[at];
        named.name = std::string(name.substr(0, kMaxPathBytes));
        if (e.hasOrigin)
            named.origin = e.originInUnit ? unitStart + e.origin.number : e.origin.number;
        std::uint64_t low = 0, high = 0;
        const auto add = [&](std::uint64_t begin, std::uint64_t end) {
            if (begin >= end || info_.functions.size() >= kMaxFunctions) return;
            info_.functions.push_back({begin, end, 0});
            pending_.push_back(at);
        };
        if (FormAddress(e.lowPc, s_, u, low)) {
            if (e.highIsOffset)
                add(low, low + e.highPc.number);
            else if (FormAddress(e.highPc, s_, u, high))
                add(low, high);
        } else if (e.ranges.kind != FormValue::Kind::None) {
            ReadRanges(s_, u, e.ranges, add);
        }
    }

    // Functions whose entry names no name take it from the entry they
    // complete (an out-of-line copy of an inline function, a method's
    // definition), a few hops at most.
    void Resolve() {
        for (std::size_t i = 0; i < pending_.size(); ++i) {
            std::uint64_t at = pending_[i];
            std::string name;
            for (int hops = 0; hops < 4; ++hops) {
                const auto it = named_.find(at);
                if (it == named_.end()) break;
                if (!it->second.name.empty()) {
                    name = it->second.name;
                    break;
                }
                at = it->second.origin;
            }
            info_.functions[i].name = static_cast<std::uint32_t>(info_.names.size());
            info_.names.push_back(std::move(name));
        }
    }

    struct Named {
        std::string name;
        std::uint64_t origin = ~std::uint64_t{0};
    };
    const DwarfSections& s_;
    ReadBudget& budget_;
    DebugInfo& info_;
    std::map<std::uint64_t, AbbrevTable> abbrevs_;
    std::unordered_set<std::uint64_t> lines_;
    std::map<std::uint64_t, Named> named_;
    std::vector<std::uint64_t> pending_;  // per function: its entry
};

}  // namespace

void ReadDwarf(const DwarfSections& sections, ReadBudget& budget, DebugInfo& info) {
    InfoReader(sections, budget, info).Run();
    // Line programs no unit leads to (units damaged or missing) are read in turn.
    if (info.rows.empty()) {
        for (std::uint64_t at = 0; at < sections.line.size() && !budget.Spent();) {
            at = ReadLineProgram(sections, at, 4, {}, budget, info);
            if (at == 0) break;
        }
    }
    if (budget.Spent()) info.cut = true;
}

}  // namespace dllscope
