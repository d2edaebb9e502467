#pragma once
// UTF-16 text (or, where wchar_t is 32 bits wide, code points) as UTF-8: the
// one conversion every report and file goes through. What a plugin returns
// may be any sequence of units, so an unpaired surrogate (one per bad unit)
// and anything above U+10FFFF become U+FFFD; nothing else is lost.
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

}  // namespace dllscope
