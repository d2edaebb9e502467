#include "symbols/dwarf_forms.h"

namespace dllscope {
namespace {

constexpr std::size_t kMaxAbbrevAttrs = 256;
constexpr std::size_t kMaxAbbrevs = 1u << 16;

using Kind = FormValue::Kind;

// How a form's number is stored: a width in bytes, or one of these.
enum Width : int {
    kUleb = -1,
    kSleb = -2,
    kOffset = -3,
    kAddress = -4,
    kRefAddr = -5,
    kPresent = -6
};

struct NumberForm {
    std::uint64_t form;
    Kind kind;
    int width;
};

constexpr NumberForm kNumberForms[] = {
    {0x0b, Kind::Number, 1},         {0x05, Kind::Number, 2},
    {0x06, Kind::Number, 4},         {0x07, Kind::Number, 8},
    {0x0f, Kind::Number, kUleb},     {0x0d, Kind::Number, kSleb},
    {0x0c, Kind::Number, 1},         {0x19, Kind::Number, kPresent},
    {0x11, Kind::UnitRef, 1},        {0x12, Kind::UnitRef, 2},
    {0x13, Kind::UnitRef, 4},        {0x14, Kind::UnitRef, 8},
    {0x15, Kind::UnitRef, kUleb},    {0x01, Kind::Address, kAddress},
    {0x10, Kind::InfoRef, kRefAddr}, {0x17, Kind::Offset, kOffset},
    {0x0e, Kind::Str, kOffset},      {0x1f, Kind::LineStr, kOffset},
    {0x1a, Kind::StrIndex, kUleb},   {0x1f02, Kind::StrIndex, kUleb},
    {0x25, Kind::StrIndex, 1},       {0x26, Kind::StrIndex, 2},
    {0x27, Kind::StrIndex, 3},       {0x28, Kind::StrIndex, 4},
    {0x1b, Kind::AddrIndex, kUleb},  {0x1f01, Kind::AddrIndex, kUleb},
    {0x29, Kind::AddrIndex, 1},      {0x2a, Kind::AddrIndex, 2},
    {0x2b, Kind::AddrIndex, 3},      {0x2c, Kind::AddrIndex, 4},
    {0x22, Kind::Number, kUleb},     {0x23, Kind::Number, kUleb},  // loclistx, rnglistx
    {0x1c, Kind::None, 4},           {0x20, Kind::None, 8},
    {0x24, Kind::None, 8},           {0x1d, Kind::None, kOffset},
    {0x1f20, Kind::None, kOffset},   {0x1f21, Kind::None, kOffset},
};

// Forms whose value is a number of fixed width or LEB128.
bool ReadNumberForm(ByteCursor& c, std::uint64_t form, const UnitHead& u, FormValue& v) {
    for (const NumberForm& f : kNumberForms) {
        if (f.form != form) continue;
        v.kind = f.kind;
        switch (f.width) {
            case kUleb:
                v.number = c.Uleb();
                break;
            case kSleb:
                v.number = static_cast<std::uint64_t>(c.Sleb());
                break;
            case kOffset:
                v.number = c.Unsigned(u.offsetSize);
                break;
            case kAddress:
                v.number = c.Unsigned(u.addressSize);
                break;
            case kRefAddr:
                v.number = c.Unsigned(u.version <= 2 ? u.addressSize : u.offsetSize);
                break;
            case kPresent:
                v.number = 1;
                break;
            default:
                v.number = c.Unsigned(static_cast<unsigned>(f.width));
        }
        return true;
    }
    return false;
}

// Forms whose value is bytes in the entry.
bool ReadBytesForm(ByteCursor& c, std::uint64_t form, FormValue& v) {
    switch (form) {
        case 0x08:
            v.kind = Kind::Text;
            v.text = c.CString();
            return true;
        case 0x0a:
            c.Skip(c.U8());
            return true;
        case 0x03:
            c.Skip(c.U16());
            return true;
        case 0x04:
            c.Skip(c.U32());
            return true;
        case 0x09:
        case 0x18:
            c.Skip(c.Uleb());
            return true;  // block, exprloc
        case 0x1e:
            c.Skip(16);
            return true;
        default:
            return false;
    }
}

std::uint64_t IndexedOffset(std::string_view section, std::uint64_t base, std::uint64_t index,
                            unsigned width) {
    ByteCursor c(section);
    if (index > section.size() / width) return ~std::uint64_t{0};
    c.Seek(base);
    c.Skip(index * width);
    const std::uint64_t value = c.Unsigned(width);
    return c.Ok() ? value : ~std::uint64_t{0};
}

}  // namespace

bool ReadUnitLength(ByteCursor& c, std::uint64_t& end, unsigned& offsetSize) {
    std::uint64_t length = c.U32();
    offsetSize = 4;
    if (length == 0xFFFFFFFF) {
        length = c.U64();
        offsetSize = 8;
    } else if (length >= 0xFFFFFFF0) {
        return false;
    }
    if (!c.Ok() || length > c.Left()) return false;
    end = c.Offset() + length;
    return true;
}

bool ReadUnitHead(ByteCursor& c, UnitHead& u) {
    if (!ReadUnitLength(c, u.end, u.offsetSize)) return false;
    u.version = c.U16();
    if (u.version < 2 || u.version > 5) return false;
    if (u.version >= 5) {
        u.type = c.U8();
        u.addressSize = c.U8();
        u.abbrevOffset = c.Unsigned(u.offsetSize);
        if (u.type == 4 || u.type == 5) c.Skip(8);                 // skeleton, split: the id
        if (u.type == 2 || u.type == 6) c.Skip(8 + u.offsetSize);  // type units
    } else {
        u.abbrevOffset = c.Unsigned(u.offsetSize);
        u.addressSize = c.U8();
    }
    return c.Ok() && (u.addressSize == 4 || u.addressSize == 8) && c.Offset() <= u.end;
}

bool ReadForm(ByteCursor& c, std::uint64_t form, std::int64_t implicitConst, const UnitHead& u,
              FormValue& v) {
    v = FormValue{};
    for (int hops = 0; form == 0x16 && hops < 4; ++hops) form = c.Uleb();  // indirect
    if (form == 0x21) {
        v.kind = Kind::Number;
        v.number = static_cast<std::uint64_t>(implicitConst);
        return true;
    }
    const bool known = ReadNumberForm(c, form, u, v) || ReadBytesForm(c, form, v);
    return known && c.Ok();
}

std::string_view FormText(const FormValue& v, const DwarfSections& s, const UnitHead& u) {
    switch (v.kind) {
        case Kind::Text:
            return v.text;
        case Kind::Str:
            return TextAt(s.str, v.number);
        case Kind::LineStr:
            return TextAt(s.lineStr, v.number);
        case Kind::StrIndex:
            return TextAt(s.str,
                          IndexedOffset(s.strOffsets, u.strOffsetsBase, v.number, u.offsetSize));
        default:
            return {};
    }
}

bool FormAddress(const FormValue& v, const DwarfSections& s, const UnitHead& u,
                 std::uint64_t& address) {
    if (v.kind == Kind::Address) {
        address = v.number;
        return true;
    }
    if (v.kind != Kind::AddrIndex) return false;
    address = IndexedOffset(s.addr, u.addrBase, v.number, u.addressSize);
    return address != ~std::uint64_t{0};
}

void ReadAbbrevs(std::string_view section, std::uint64_t offset, ReadBudget& budget,
                 AbbrevTable& table) {
    ByteCursor c(section);
    c.Seek(offset);
    while (c.Ok() && table.size() < kMaxAbbrevs && budget.Spend()) {
        const std::uint64_t code = c.Uleb();
        if (code == 0 || !c.Ok()) return;
        Abbrev a;
        a.tag = c.Uleb();
        a.children = c.U8() != 0;
        while (c.Ok() && a.attrs.size() < kMaxAbbrevAttrs && budget.Spend()) {
            AbbrevAttr attr;
            attr.name = c.Uleb();
            attr.form = c.Uleb();
            if (attr.form == 0x21) attr.implicitConst = c.Sleb();
            if (attr.name == 0 && attr.form == 0) break;
            a.attrs.push_back(attr);
        }
        if (c.Ok()) table.emplace(code, std::move(a));
    }
}

}  // namespace dllscope
