#pragma once
// The parts of DWARF both the units and the line programs are made of: a
// unit's head, the abbreviations of its entries, and the values of their
// attributes in every form of versions 2 to 5.
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "symbols/byte_cursor.h"
#include "symbols/dwarf_reader.h"

namespace dllscope {

struct UnitHead {
    std::uint64_t end = 0;  // offset in its section just past the unit
    std::uint16_t version = 0;
    unsigned offsetSize = 4, addressSize = 4;
    std::uint8_t type = 1;  // DW_UT_compile
    std::uint64_t abbrevOffset = 0;
    std::uint64_t strOffsetsBase = 0, addrBase = 0, rngListsBase = 0, lowPc = 0;
};

// The length that opens a unit or a line program (32- or 64-bit DWARF):
// false where it does not fit the section.
bool ReadUnitLength(ByteCursor& c, std::uint64_t& end, unsigned& offsetSize);
// A unit's head in .debug_info, the cursor then at its first entry.
bool ReadUnitHead(ByteCursor& c, UnitHead& unit);

struct FormValue {
    enum class Kind {
        None,
        Number,
        Text,
        Str,
        LineStr,
        StrIndex,
        Address,
        AddrIndex,
        UnitRef,
        InfoRef,
        Offset
    };
    Kind kind = Kind::None;
    std::uint64_t number = 0;
    std::string_view text;
};

// The value of one attribute in `form` (DW_FORM_indirect followed); false
// for a form no version knows, after which the entry cannot be passed.
bool ReadForm(ByteCursor& c, std::uint64_t form, std::int64_t implicitConst, const UnitHead& unit,
              FormValue& value);

// A text attribute's text, wherever its form keeps it; empty where unknown.
std::string_view FormText(const FormValue& value, const DwarfSections& s, const UnitHead& unit);
// An address attribute's address (DW_FORM_addr or an index into .debug_addr).
bool FormAddress(const FormValue& value, const DwarfSections& s, const UnitHead& unit,
                 std::uint64_t& address);

struct AbbrevAttr {
    std::uint64_t name = 0, form = 0;
    std::int64_t implicitConst = 0;
};
struct Abbrev {
    std::uint64_t tag = 0;
    bool children = false;
    std::vector<AbbrevAttr> attrs;
};
using AbbrevTable = std::unordered_map<std::uint64_t, Abbrev>;

// The abbreviations at `offset` of .debug_abbrev.
void ReadAbbrevs(std::string_view section, std::uint64_t offset, ReadBudget& budget,
                 AbbrevTable& table);

}  // namespace dllscope
