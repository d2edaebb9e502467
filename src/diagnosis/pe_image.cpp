#include "diagnosis/pe_image.h"

#include <algorithm>

namespace dllscope {
namespace {

constexpr std::size_t kMaxImports = 4096;  // libraries, and functions of one library
constexpr std::size_t kMaxExports = 65536;
constexpr std::size_t kMaxName = 512;

// Little-endian reads that fail instead of reading past the end.
class Bytes {
  public:
    explicit Bytes(const std::string& b) : b_(b) {}
    bool U16(std::size_t at, std::uint16_t& v) const {
        if (at > b_.size() || b_.size() - at < 2) return false;
        v = static_cast<std::uint16_t>(Byte(at) | Byte(at + 1) << 8);
        return true;
    }
    bool U32(std::size_t at, std::uint32_t& v) const {
        if (at > b_.size() || b_.size() - at < 4) return false;
        v = Byte(at) | Byte(at + 1) << 8 | Byte(at + 2) << 16 |
            static_cast<std::uint32_t>(Byte(at + 3)) << 24;
        return true;
    }
    bool U64(std::size_t at, std::uint64_t& v) const {
        std::uint32_t lo = 0, hi = 0;
        if (!U32(at, lo) || !U32(at + 4, hi)) return false;
        v = lo | static_cast<std::uint64_t>(hi) << 32;
        return true;
    }
    // A NUL-terminated name of printable bytes, at most kMaxName long.
    bool Name(std::size_t at, std::string& s) const {
        s.clear();
        for (std::size_t i = at; i < b_.size() && s.size() < kMaxName; ++i) {
            const char c = b_[i];
            if (c == '\0') return !s.empty();
            if (static_cast<unsigned char>(c) < 0x20) return false;
            s += c;
        }
        return false;
    }

  private:
    std::uint32_t Byte(std::size_t at) const { return static_cast<unsigned char>(b_[at]); }
    const std::string& b_;
};

struct Section {
    std::uint32_t address, size, fileOffset, fileSize;
};

// The file offset of a relative virtual address, or npos outside every section.
std::size_t Offset(const std::vector<Section>& sections, std::uint32_t rva) {
    for (const Section& s : sections) {
        const std::uint32_t span = std::max(s.size, s.fileSize);
        if (rva >= s.address && rva - s.address < span && rva - s.address < s.fileSize) {
            return static_cast<std::size_t>(s.fileOffset) + (rva - s.address);
        }
    }
    return std::string::npos;
}

void ReadImports(const Bytes& in, const std::vector<Section>& sections, std::uint32_t rva,
                 bool pe64, PeImage& image) {
    const std::size_t table = Offset(sections, rva);
    if (table == std::string::npos) return;
    for (std::size_t i = 0; i < kMaxImports; ++i) {
        const std::size_t d = table + i * 20;  // IMAGE_IMPORT_DESCRIPTOR
        std::uint32_t lookup = 0, nameRva = 0, thunks = 0;
        if (!in.U32(d, lookup) || !in.U32(d + 12, nameRva) || !in.U32(d + 16, thunks)) return;
        if (lookup == 0 && nameRva == 0 && thunks == 0) return;
        PeImport import;
        const std::size_t name = Offset(sections, nameRva);
        if (name == std::string::npos || !in.Name(name, import.library)) continue;
        const std::size_t entries = Offset(sections, lookup != 0 ? lookup : thunks);
        const std::size_t width = pe64 ? 8 : 4;
        for (std::size_t j = 0; entries != std::string::npos && j < kMaxImports; ++j) {
            std::uint64_t entry = 0;
            if (pe64) {
                if (!in.U64(entries + j * width, entry)) break;
            } else {
                std::uint32_t e32 = 0;
                if (!in.U32(entries + j * width, e32)) break;
                entry = e32;
            }
            if (entry == 0) break;
            const bool byOrdinal = pe64 ? (entry >> 63) != 0 : (entry >> 31) != 0;
            if (byOrdinal) continue;
            const std::size_t hint =
                Offset(sections, static_cast<std::uint32_t>(entry & 0x7FFFFFFF));
            std::string function;
            if (hint != std::string::npos && in.Name(hint + 2, function))
                import.functions.push_back(function);
        }
        image.imports.push_back(std::move(import));
    }
}

void ReadExports(const Bytes& in, const std::vector<Section>& sections, std::uint32_t rva,
                 PeImage& image) {
    const std::size_t dir = Offset(sections, rva);
    std::uint32_t count = 0, namesRva = 0;
    if (dir == std::string::npos || !in.U32(dir + 24, count) || !in.U32(dir + 32, namesRva)) return;
    const std::size_t names = Offset(sections, namesRva);
    if (names == std::string::npos) return;
    for (std::size_t i = 0; i < count && i < kMaxExports; ++i) {
        std::uint32_t nameRva = 0;
        if (!in.U32(names + i * 4, nameRva)) return;
        const std::size_t at = Offset(sections, nameRva);
        std::string name;
        if (at != std::string::npos && in.Name(at, name)) image.exports.push_back(name);
    }
}

}  // namespace

PeImage ReadPeImage(const std::string& bytes) {
    PeImage image;
    if (bytes.empty()) {
        image.kind = PeImage::Kind::Empty;
        return image;
    }
    const Bytes in(bytes);
    std::uint16_t mz = 0;
    std::uint32_t peAt = 0, pe = 0;
    if (!in.U16(0, mz) || mz != 0x5A4D || !in.U32(0x3C, peAt) || !in.U32(peAt, pe) ||
        pe != 0x00004550) {
        return image;  // no MZ header, or no PE header where it points
    }
    const std::size_t file = static_cast<std::size_t>(peAt) + 4;  // IMAGE_FILE_HEADER
    std::uint16_t machine = 0, sectionCount = 0, optionalSize = 0, characteristics = 0, magic = 0;
    if (!in.U16(file, machine) || !in.U16(file + 2, sectionCount) ||
        !in.U16(file + 16, optionalSize) || !in.U16(file + 18, characteristics)) {
        return image;
    }
    image.kind = PeImage::Kind::Executable;
    image.machine = machine;
    image.bits = machine == 0x014C ? 32 : machine == 0x8664 ? 64 : 0;
    image.library = (characteristics & 0x2000) != 0;
    const std::size_t optional = file + 20;
    if (!in.U16(optional, magic) || (magic != 0x10B && magic != 0x20B)) return image;
    const bool pe64 = magic == 0x20B;
    const std::size_t directories = optional + (pe64 ? 112 : 96);
    std::uint32_t directoryCount = 0;
    in.U32(optional + (pe64 ? 108 : 92), directoryCount);
    const auto directory = [&](std::uint32_t index) {
        std::uint32_t rva = 0;
        if (index < directoryCount) in.U32(directories + index * 8, rva);
        return rva;
    };
    std::vector<Section> sections;
    const std::size_t table = optional + optionalSize;
    for (std::size_t i = 0; i < sectionCount; ++i) {
        const std::size_t s = table + i * 40;
        Section section{};
        if (!in.U32(s + 8, section.size) || !in.U32(s + 12, section.address) ||
            !in.U32(s + 16, section.fileSize) || !in.U32(s + 20, section.fileOffset)) {
            break;
        }
        sections.push_back(section);
    }
    image.dotNet = directory(14) != 0;
    if (const std::uint32_t imports = directory(1)) ReadImports(in, sections, imports, pe64, image);
    if (const std::uint32_t exports = directory(0)) ReadExports(in, sections, exports, image);
    return image;
}

bool Imports(const PeImage& image, const std::string& library) {
    for (const PeImport& import : image.imports) {
        std::string name = import.library;
        for (char& c : name) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (name == library) return true;
    }
    return false;
}

}  // namespace dllscope
