#include "symbols/pe_layout.h"

#include <algorithm>

#include "symbols/byte_cursor.h"

namespace dllscope {
namespace {

constexpr std::size_t kMaxSections = 256;
constexpr std::size_t kMaxFunctions = 1u << 20;
constexpr std::size_t kMaxExports = 65536;
constexpr std::size_t kMaxName = 512;

struct Directory {
    std::uint32_t rva = 0, size = 0;
};

// The file's bytes at an rva: empty outside every section.
std::string_view AtRva(const PeLayout& pe, std::uint32_t rva, std::uint32_t size) {
    for (const PeSection& s : pe.sections) {
        if (rva < s.rva || rva - s.rva >= s.bytes.size()) continue;
        const std::size_t from = rva - s.rva;
        return s.bytes.substr(from, std::min<std::size_t>(size, s.bytes.size() - from));
    }
    return {};
}

std::string SectionName(std::string_view raw, std::string_view bytes, std::uint64_t strings) {
    std::string name(raw.substr(0, std::min(raw.find('\0'), raw.size())));
    if (strings == 0 || name.size() < 2 || name[0] != '/') return name;
    std::uint64_t offset = 0;  // "/123": the name stands in the string table
    for (std::size_t i = 1; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || offset > 1u << 30) return name;
        offset = offset * 10 + static_cast<unsigned>(name[i] - '0');
    }
    const std::string_view text = TextAt(bytes, strings + offset);
    return text.empty() ? name : std::string(text.substr(0, kMaxName));
}

void ReadSections(ByteCursor& c, std::string_view bytes, std::size_t count, std::uint64_t strings,
                  PeLayout& pe) {
    for (std::size_t i = 0; i < count && i < kMaxSections; ++i) {
        const std::string_view raw = c.Take(8);
        const std::uint32_t virtualSize = c.U32(), rva = c.U32(), rawSize = c.U32(),
                            rawOffset = c.U32();
        c.Skip(12);
        const std::uint32_t characteristics = c.U32();
        if (!c.Ok()) return;
        PeSection s{SectionName(raw, bytes, strings), rva, {}};
        s.size = virtualSize ? virtualSize : rawSize;
        s.code = (characteristics & 0x20000020u) != 0;  // code, or executable
        if (rawOffset < bytes.size()) {
            std::size_t size = std::min<std::size_t>(rawSize, bytes.size() - rawOffset);
            if (virtualSize != 0) size = std::min<std::size_t>(size, virtualSize);
            s.bytes = bytes.substr(rawOffset, size);
        }
        pe.sections.push_back(std::move(s));
    }
}

void ReadFunctions(PeLayout& pe, Directory dir) {
    ByteCursor c(AtRva(pe, dir.rva, dir.size));
    while (c.Left() >= 12 && pe.functions.size() < kMaxFunctions) {
        const std::uint32_t begin = c.U32(), end = c.U32();
        c.U32();
        if (begin < end && end <= pe.imageSize) pe.functions.push_back({begin, end});
    }
    std::sort(pe.functions.begin(), pe.functions.end(),
              [](const PeFunction& a, const PeFunction& b) { return a.begin < b.begin; });
}

void ReadExports(PeLayout& pe, Directory dir) {
    ByteCursor d(AtRva(pe, dir.rva, 40));
    d.Skip(20);
    const std::uint32_t functions = d.U32(), names = d.U32(), functionsRva = d.U32(),
                        namesRva = d.U32(), ordinalsRva = d.U32();
    if (!d.Ok()) return;
    const std::uint32_t n = std::min<std::uint32_t>(names, kMaxExports);
    ByteCursor nameRvas(AtRva(pe, namesRva, n * 4)), ordinals(AtRva(pe, ordinalsRva, n * 2));
    const std::string_view rvas =
        AtRva(pe, functionsRva, std::min<std::uint32_t>(functions, kMaxExports) * 4);
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t nameRva = nameRvas.U32(), ordinal = ordinals.U16();
        if (!nameRvas.Ok() || !ordinals.Ok()) break;
        ByteCursor at(rvas);
        at.Skip(std::uint64_t{ordinal} * 4);
        const std::uint32_t rva = at.U32();
        const bool forwarded = rva >= dir.rva && rva - dir.rva < dir.size;
        ByteCursor name(AtRva(pe, nameRva, kMaxName));
        const std::string_view text = name.CString();
        if (at.Ok() && !forwarded && name.Ok() && !text.empty())
            pe.exports.push_back({rva, std::string(text)});
    }
    std::sort(pe.exports.begin(), pe.exports.end(),
              [](const PeExport& a, const PeExport& b) { return a.rva < b.rva; });
}

// Whether a debug directory entry is of the CodeView kind: the file names
// the program database that holds its symbols.
bool NamesProgramDatabase(const PeLayout& pe, Directory dir) {
    ByteCursor c(AtRva(pe, dir.rva, std::min<std::uint32_t>(dir.size, 64 * 28)));
    while (c.Left() >= 28) {
        c.Skip(12);
        const std::uint32_t type = c.U32();
        c.Skip(12);
        if (type == 2) return true;  // IMAGE_DEBUG_TYPE_CODEVIEW
    }
    return false;
}

}  // namespace

std::string_view PeLayout::Section(std::string_view name) const {
    for (const PeSection& s : sections)
        if (s.name == name) return s.bytes;
    return {};
}

PeLayout ReadPeLayout(std::string_view bytes) {
    PeLayout pe;
    ByteCursor c(bytes);
    c.Seek(0x3C);
    const std::uint32_t peAt = c.U32();
    c.Seek(0);
    if (c.U16() != 0x5A4D) return pe;
    c.Seek(peAt);
    if (c.U32() != 0x00004550) return pe;
    const std::uint16_t machine = c.U16(), sectionCount = c.U16();
    c.Skip(4);
    const std::uint32_t symbols = c.U32(), symbolCount = c.U32();
    const std::uint16_t optionalSize = c.U16();
    c.Skip(2);
    const std::size_t optional = c.Offset();
    const std::uint16_t magic = c.U16();
    if (!c.Ok() || (magic != 0x10B && magic != 0x20B)) return pe;
    const bool pe64 = magic == 0x20B;
    pe.bits = machine == 0x014C ? 32 : machine == 0x8664 ? 64 : 0;
    c.Seek(optional + (pe64 ? 24 : 28));
    pe.imageBase = pe64 ? c.U64() : c.U32();
    c.Seek(optional + 56);
    pe.imageSize = c.U32();
    c.Seek(optional + (pe64 ? 108 : 92));
    const std::uint32_t directoryCount = c.U32();
    Directory dirs[7]{};
    for (std::uint32_t i = 0; i < 7 && i < directoryCount; ++i) dirs[i] = {c.U32(), c.U32()};
    c.Seek(optional + optionalSize);
    if (!c.Ok()) return pe;
    const std::uint64_t strings =
        symbols == 0 ? 0 : std::uint64_t{symbols} + std::uint64_t{symbolCount} * 18;
    ReadSections(c, bytes, sectionCount, strings, pe);
    pe.valid = true;
    ReadExports(pe, dirs[0]);
    pe.codeView = NamesProgramDatabase(pe, dirs[6]);
    if (pe64) ReadFunctions(pe, dirs[3]);
    if (pe.functions.empty()) ReadFrameTable(pe);
    return pe;
}

std::uint32_t CodeStart(const PeLayout& pe, std::uint32_t rva) {
    for (const PeSection& section : pe.sections) {
        if (!section.code || rva < section.rva || rva - section.rva >= section.bytes.size())
            continue;
        const std::string_view code = section.bytes.substr(rva - section.rva);
        if (code.size() < 5 || static_cast<unsigned char>(code[0]) != 0xE9) return rva;
        std::uint32_t offset = 0;
        for (int i = 4; i >= 1; --i) offset = offset << 8 | static_cast<unsigned char>(code[i]);
        return rva + 5 + offset;
    }
    return rva;
}

}  // namespace dllscope
