#pragma once
// Little-endian reads from bytes a module's file holds: every read stays
// inside the bytes it was given. A read past the end fails the cursor; a
// failed cursor reads zeros and stays failed, so a reader checks once after
// a record instead of after every field.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace dllscope {

class ByteCursor {
  public:
    ByteCursor() = default;
    explicit ByteCursor(std::string_view bytes) : bytes_(bytes) {}

    bool Ok() const { return !failed_; }
    bool AtEnd() const { return failed_ || at_ >= bytes_.size(); }
    std::size_t Offset() const { return at_; }
    std::size_t Left() const { return failed_ ? 0 : bytes_.size() - at_; }
    void Fail() { failed_ = true; }

    void Seek(std::uint64_t at) {
        if (at > bytes_.size())
            failed_ = true;
        else
            at_ = static_cast<std::size_t>(at);
    }
    void Skip(std::uint64_t n) {
        if (n > Left())
            failed_ = true;
        else
            at_ += static_cast<std::size_t>(n);
    }
    // An unsigned number of 1 to 8 bytes.
    std::uint64_t Unsigned(unsigned width) {
        if (failed_ || width == 0 || width > 8 || width > Left()) {
            failed_ = true;
            return 0;
        }
        std::uint64_t value = 0;
        for (unsigned i = 0; i < width; ++i)
            value |= std::uint64_t{static_cast<unsigned char>(bytes_[at_ + i])} << (8 * i);
        at_ += width;
        return value;
    }
    std::uint8_t U8() { return static_cast<std::uint8_t>(Unsigned(1)); }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Unsigned(2)); }
    std::uint32_t U32() { return static_cast<std::uint32_t>(Unsigned(4)); }
    std::uint64_t U64() { return Unsigned(8); }
    std::int8_t S8() { return static_cast<std::int8_t>(U8()); }

    // LEB128: at most ten bytes are read; bits past 64 are dropped.
    std::uint64_t Uleb() {
        std::uint64_t value = 0;
        for (unsigned shift = 0; shift < 70; shift += 7) {
            const std::uint8_t byte = U8();
            if (failed_) return 0;
            if (shift < 64) value |= std::uint64_t{byte & 0x7Fu} << shift;
            if (!(byte & 0x80)) return value;
        }
        failed_ = true;
        return 0;
    }
    std::int64_t Sleb() {
        std::uint64_t value = 0;
        for (unsigned shift = 0; shift < 70; shift += 7) {
            const std::uint8_t byte = U8();
            if (failed_) return 0;
            if (shift < 64) value |= std::uint64_t{byte & 0x7Fu} << shift;
            if (!(byte & 0x80)) {
                if ((byte & 0x40) && shift + 7 < 64) value |= ~std::uint64_t{0} << (shift + 7);
                return static_cast<std::int64_t>(value);
            }
        }
        failed_ = true;
        return 0;
    }
    // Bytes up to a NUL (which is passed); fails where none ends them.
    std::string_view CString() {
        if (failed_) return {};
        const std::size_t end = bytes_.find('\0', at_);
        if (end == std::string_view::npos) {
            failed_ = true;
            return {};
        }
        const std::string_view text = bytes_.substr(at_, end - at_);
        at_ = end + 1;
        return text;
    }
    // The next n bytes, passed.
    std::string_view Take(std::uint64_t n) {
        if (n > Left()) {
            failed_ = true;
            return {};
        }
        const std::string_view part = bytes_.substr(at_, static_cast<std::size_t>(n));
        at_ += part.size();
        return part;
    }

  private:
    std::string_view bytes_;
    std::size_t at_ = 0;
    bool failed_ = false;
};

// The NUL-terminated text at `offset` of a string section; empty outside it.
inline std::string_view TextAt(std::string_view section, std::uint64_t offset) {
    if (offset >= section.size()) return {};
    ByteCursor c(section);
    c.Seek(offset);
    const std::string_view text = c.CString();
    return c.Ok() ? text : std::string_view{};
}

}  // namespace dllscope
