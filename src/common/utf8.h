#pragma once
// UTF-16 text (or, where wchar_t is 32 bits wide, code points) as UTF-8: the
// one conversion every report and file goes through. What a plugin returns
// may be any sequence of units, so an unpaired surrogate (one per bad unit)
// and anything above U+10FFFF become U+FFFD; nothing else is lost.
// Back from UTF-8 (names a compiler wrote), a byte that starts no valid
// sequence stands for itself (Latin-1): paths of an ANSI build keep their
// umlauts.
#include <string>

namespace dllscope {

inline std::string ToUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned long c = static_cast<unsigned long>(text[i]);
        if (c >= 0xD800 && c < 0xDC00) {
            const unsigned long next =
                i + 1 < text.size() ? static_cast<unsigned long>(text[i + 1]) : 0;
            if (next >= 0xDC00 && next < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            } else {
                c = 0xFFFD;
            }
        } else if ((c >= 0xDC00 && c < 0xE000) || c > 0x10FFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

inline std::wstring FromUtf8(const std::string& bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = [&](std::size_t k) { return static_cast<unsigned char>(bytes[i + k]); };
        const unsigned lead = b(0);
        const std::size_t n = lead >= 0xF0 && lead < 0xF5   ? 4
                              : lead >= 0xE0 && lead < 0xF0 ? 3
                              : lead >= 0xC2 && lead < 0xE0 ? 2
                                                            : 1;
        unsigned long c = n == 1 ? lead : lead & (0x7Fu >> n);
        bool valid = n == 1 || i + n <= bytes.size();
        for (std::size_t k = 1; valid && k < n; ++k) {
            valid = (b(k) & 0xC0) == 0x80;
            c = (c << 6) | (b(k) & 0x3F);
        }
        if (valid && n > 1 &&
            ((n == 3 && c < 0x800) || (n == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
             (c >= 0xD800 && c < 0xE000))) {
            valid = false;
        }
        if (!valid) {
            out += static_cast<wchar_t>(lead);
            ++i;
            continue;
        }
        if (c >= 0x10000 && sizeof(wchar_t) == 2) {
            out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);
        }
        i += n;
    }
    return out;
}

}  // namespace dllscope
