// Text helpers the companion libraries share: ANSI in, UTF-16 inside.
#pragma once
#include <windows.h>

#include <cwctype>
#include <string>

inline std::wstring AnsiToWide(const char* text) {
    if (!text) return std::wstring();
    const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (n <= 1) return std::wstring();
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), n);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

inline std::string WideTo(UINT codePage, const std::wstring& text) {
    if (text.empty()) return std::string();
    const int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

// The element name of a tag that starts at text[i] ('<'), in lower case;
// empty for comments, declarations and stray '<'. `closing` tells "</...".
inline std::wstring TagNameAt(const std::wstring& text, std::size_t i, bool& closing) {
    std::size_t j = i + 1;
    closing = j < text.size() && text[j] == L'/';
    if (closing) ++j;
    std::wstring name;
    while (j < text.size() && (iswalnum(text[j]))) name += static_cast<wchar_t>(towlower(text[j++]));
    return name;
}
