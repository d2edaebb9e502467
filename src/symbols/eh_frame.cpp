// The extents of a 32-bit module's functions from its call frame table
// (.eh_frame, which MinGW's i686 gcc writes for every function, debug
// information or not): each frame description names where a function
// begins and how long it is.
#include <algorithm>

#include "symbols/byte_cursor.h"
#include "symbols/pe_layout.h"

namespace dllscope {
namespace {

constexpr std::size_t kMaxEntries = 1u << 20;
constexpr std::uint8_t kOmit = 0xFF;

// A pointer in one of the encodings the table's entries declare; false for
// one this reader does not know.
bool ReadPointer(ByteCursor& c, std::uint8_t encoding, std::uint64_t fieldAddress,
                 std::uint64_t& value) {
    switch (encoding & 0x0F) {
        case 0x00:
            value = c.U32();
            break;  // absolute, 32-bit module
        case 0x01:
            value = c.Uleb();
            break;
        case 0x02:
            value = c.U16();
            break;
        case 0x03:
            value = c.U32();
            break;
        case 0x04:
            value = c.U64();
            break;
        case 0x09:
            value = static_cast<std::uint64_t>(c.Sleb());
            break;
        case 0x0A:
            value = static_cast<std::uint64_t>(static_cast<std::int16_t>(c.U16()));
            break;
        case 0x0B:
            value = static_cast<std::uint64_t>(static_cast<std::int32_t>(c.U32()));
            break;
        case 0x0C:
            value = c.U64();
            break;
        default:
            return false;
    }
    switch (encoding & 0x70) {
        case 0x00:
            break;
        case 0x10:
            value += fieldAddress;
            break;  // relative to the field
        default:
            return false;
    }
    return c.Ok() && !(encoding & 0x80);
}

// A common entry's encoding of the addresses in its descriptions.
std::uint8_t CieEncoding(ByteCursor c, std::uint64_t sectionAddress) {
    const std::uint8_t version = c.U8();
    const std::string_view augmentation = c.CString();
    if (augmentation.find("eh") != std::string_view::npos) c.U32();
    c.Uleb(), c.Sleb();
    if (version == 1)
        c.U8();
    else
        c.Uleb();
    if (augmentation.empty() || augmentation[0] != 'z') return 0x00;
    c.Uleb();
    for (char a : augmentation.substr(1)) {
        if (a == 'R') return c.U8();
        if (a == 'L') c.U8();
        if (a == 'P') {
            const std::uint8_t personality = c.U8();
            std::uint64_t ignored = 0;
            if (!ReadPointer(c, personality & 0x7F, sectionAddress + c.Offset(), ignored))
                return kOmit;
        }
        if (a != 'R' && a != 'L' && a != 'P' && a != 'S' && a != 'B') return kOmit;
    }
    return 0x00;
}

}  // namespace

void ReadFrameTable(PeLayout& pe) {
    const PeSection* table = nullptr;
    for (const PeSection& s : pe.sections)
        if (s.name == ".eh_frame") table = &s;
    if (!table) return;
    const std::uint64_t sectionAddress = pe.imageBase + table->rva;
    ByteCursor c(table->bytes);
    for (std::size_t n = 0; n < kMaxEntries && c.Left() >= 4; ++n) {
        const std::size_t start = c.Offset();
        const std::uint32_t length = c.U32();
        if (length == 0 || length == 0xFFFFFFFF || length > c.Left()) break;
        const std::size_t end = c.Offset() + length;
        const std::size_t idAt = c.Offset();
        const std::uint32_t id = c.U32();
        if (id != 0 && id <= idAt) {  // a description: its common entry lies `id` bytes back
            ByteCursor cie(table->bytes);
            cie.Seek(idAt - id);
            cie.Skip(8);
            const std::uint8_t encoding = CieEncoding(cie, sectionAddress);
            std::uint64_t begin = 0, size = 0;
            if (encoding != kOmit && ReadPointer(c, encoding, sectionAddress + c.Offset(), begin) &&
                ReadPointer(c, encoding & 0x0F, 0, size) && begin >= pe.imageBase &&
                begin - pe.imageBase < pe.imageSize && size > 0 &&
                size <= pe.imageSize - (begin - pe.imageBase)) {
                const auto rva = static_cast<std::uint32_t>(begin - pe.imageBase);
                pe.functions.push_back({rva, rva + static_cast<std::uint32_t>(size)});
            }
        }
        c.Seek(end);
        (void)start;
    }
    std::sort(pe.functions.begin(), pe.functions.end(),
              [](const PeFunction& a, const PeFunction& b) { return a.begin < b.begin; });
}

}  // namespace dllscope
