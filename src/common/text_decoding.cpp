#include "common/text_decoding.h"

#include <cstdint>

namespace dllscope {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool StartsWith(const std::string& bytes, const char* prefix, std::size_t n) {
    return bytes.size() >= n && bytes.compare(0, n, prefix, n) == 0;
}

// Length of the UTF-8 sequence at p (1 to 4), or 0 when it is not valid.
std::size_t Utf8SequenceLength(const unsigned char* p, std::size_t left, std::uint32_t& cp) {
    const unsigned char b = p[0];
    std::size_t len;
    std::uint32_t min;
    if (b < 0x80) {
        cp = b;
        return 1;
    }
    if ((b & 0xE0) == 0xC0) {
        len = 2;
        cp = b & 0x1F;
        min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        len = 3;
        cp = b & 0x0F;
        min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        len = 4;
        cp = b & 0x07;
        min = 0x10000;
    } else
        return 0;
    if (left < len) return 0;
    for (std::size_t i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

void AppendCodePoint(std::wstring& out, std::uint32_t cp) {
    if (cp == 0) {
        out += kReplacement;
    } else if (cp < 0x10000) {
        out += static_cast<wchar_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (cp >> 10));
        out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    }
}

std::wstring DecodeUtf8(const std::string& bytes, std::size_t from) {
    std::wstring out;
    out.reserve(bytes.size() - from);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = from; i < bytes.size();) {
        std::uint32_t cp = 0;
        const std::size_t len = Utf8SequenceLength(p + i, bytes.size() - i, cp);
        if (len == 0) {  // only after a BOM: a broken sequence shows as U+FFFD
            out += kReplacement;
            ++i;
        } else {
            AppendCodePoint(out, cp);
            i += len;
        }
    }
    return out;
}

std::wstring DecodeUtf16(const std::string& bytes, bool bigEndian) {
    std::wstring out;
    out.reserve(bytes.size() / 2);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t i = 2;
    for (; i + 1 < bytes.size(); i += 2) {
        const unsigned unit = bigEndian ? (p[i] << 8) | p[i + 1] : p[i] | (p[i + 1] << 8);
        out += unit == 0 ? kReplacement : static_cast<wchar_t>(unit);
    }
    if (i < bytes.size()) out += kReplacement;
    return out;
}

}  // namespace

bool IsValidUtf8(const char* data, std::size_t size) {
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size;) {
        std::uint32_t cp = 0;
        const std::size_t len = Utf8SequenceLength(p + i, size - i, cp);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

TextEncoding DetectEncoding(const std::string& bytes) {
    if (StartsWith(bytes, "\xEF\xBB\xBF", 3)) return TextEncoding::Utf8Bom;
    if (StartsWith(bytes, "\xFF\xFE", 2)) return TextEncoding::Utf16LeBom;
    if (StartsWith(bytes, "\xFE\xFF", 2)) return TextEncoding::Utf16BeBom;
    return IsValidUtf8(bytes.data(), bytes.size()) ? TextEncoding::Utf8 : TextEncoding::Ansi;
}

std::wstring DecodeFileText(const std::string& bytes, const AnsiDecoder& fromAnsi) {
    switch (DetectEncoding(bytes)) {
        case TextEncoding::Utf8Bom:
            return DecodeUtf8(bytes, 3);
        case TextEncoding::Utf16LeBom:
            return DecodeUtf16(bytes, false);
        case TextEncoding::Utf16BeBom:
            return DecodeUtf16(bytes, true);
        case TextEncoding::Utf8:
            return DecodeUtf8(bytes, 0);
        case TextEncoding::Ansi:
            break;
    }
    std::wstring text = fromAnsi(bytes.data(), bytes.size());
    for (wchar_t& c : text) {
        if (c == 0) c = kReplacement;
    }
    return text;
}

}  // namespace dllscope
