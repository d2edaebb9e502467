#include "host/host_protocol.h"

namespace dllscope {

MessageWriter& MessageWriter::U8(std::uint8_t value) {
    bytes_.push_back(static_cast<char>(value));
    return *this;
}

MessageWriter& MessageWriter::U16(std::uint16_t value) {
    for (int i = 0; i < 2; ++i) U8(static_cast<std::uint8_t>(value >> (8 * i)));
    return *this;
}

MessageWriter& MessageWriter::U32(std::uint32_t value) {
    for (int i = 0; i < 4; ++i) U8(static_cast<std::uint8_t>(value >> (8 * i)));
    return *this;
}

MessageWriter& MessageWriter::U64(std::uint64_t value) {
    for (int i = 0; i < 8; ++i) U8(static_cast<std::uint8_t>(value >> (8 * i)));
    return *this;
}

MessageWriter& MessageWriter::Text(const std::wstring& text) {
    U32(static_cast<std::uint32_t>(text.size()));
    const std::size_t at = bytes_.size();
    bytes_.resize(at + 2 * text.size());
    char* out = &bytes_[at];
    for (const wchar_t c : text) {
        *out++ = static_cast<char>(c & 0xFF);
        *out++ = static_cast<char>((c >> 8) & 0xFF);
    }
    return *this;
}

MessageWriter& MessageWriter::Raw(const std::string& bytes) {
    bytes_ += bytes;
    return *this;
}

std::string MessageWriter::Frame() const { return MessageWriter(*this).Take(); }

std::string MessageWriter::Take() {
    const auto n = static_cast<std::uint32_t>(bytes_.size() - 4);
    for (int i = 0; i < 4; ++i) bytes_[i] = static_cast<char>((n >> (8 * i)) & 0xFF);
    return std::move(bytes_);
}

bool MessageReader::Take(std::size_t n) {
    if (!ok_ || message_.size() - at_ < n) {
        ok_ = false;
        return false;
    }
    return true;
}

std::uint64_t MessageReader::Number(std::size_t n) {
    if (!Take(n)) return 0;
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < n; ++i)
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(message_[at_ + i]))
                 << (8 * i);
    at_ += n;
    return value;
}

HostMessage MessageReader::Kind() { return static_cast<HostMessage>(Number(1)); }
std::uint8_t MessageReader::U8() { return static_cast<std::uint8_t>(Number(1)); }
std::uint16_t MessageReader::U16() { return static_cast<std::uint16_t>(Number(2)); }
std::uint32_t MessageReader::U32() { return static_cast<std::uint32_t>(Number(4)); }
std::uint64_t MessageReader::U64() { return Number(8); }

std::wstring MessageReader::Text() {
    const std::uint32_t units = U32();
    // The length is checked against what is left before anything is made.
    if (!ok_ || units > (message_.size() - at_) / 2) {
        ok_ = false;
        return std::wstring();
    }
    std::wstring text(units, L'\0');
    const char* in = &message_[at_];
    for (std::uint32_t i = 0; i < units; ++i, in += 2)
        text[i] = static_cast<wchar_t>(static_cast<unsigned char>(in[0]) |
                                       (static_cast<unsigned char>(in[1]) << 8));
    at_ += 2 * static_cast<std::size_t>(units);
    return text;
}

std::string MessageReader::Raw(std::uint32_t n) {
    if (!ok_ || n > message_.size() - at_) {
        ok_ = false;
        return std::string();
    }
    std::string bytes = message_.substr(at_, n);
    at_ += n;
    return bytes;
}

bool FrameLength(const char header[4], std::uint32_t limit, std::uint32_t& length) {
    length = 0;
    for (int i = 0; i < 4; ++i)
        length |= static_cast<std::uint32_t>(static_cast<unsigned char>(header[i])) << (8 * i);
    return length != 0 && length <= limit;
}

}  // namespace dllscope
