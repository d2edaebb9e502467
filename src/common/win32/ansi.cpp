#include "common/win32/ansi.h"

#include <algorithm>
#include <climits>

namespace dllscope {

std::string Encode(UINT codePage, const std::wstring& text) {
    if (text.empty()) return std::string();
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), size, out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring Decode(UINT codePage, const char* data, std::size_t size) {
    if (size == 0) return std::wstring();
    const int len = static_cast<int>(size);
    const int n = MultiByteToWideChar(codePage, 0, data, len, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, data, len, out.data(), n);
    return out;
}

std::string ToAnsi(const std::wstring& text) { return Encode(CP_ACP, text); }

std::wstring FromAnsi(const char* data, std::size_t size) { return Decode(CP_ACP, data, size); }

bool PassesAnsi(const std::wstring& text) {
    if (text.empty()) return true;
    BOOL usedDefault = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                        nullptr, 0, nullptr, &usedDefault);
    return !usedDefault;
}

std::wstring PassablePath(const std::wstring& path) {
    if (PassesAnsi(path)) return path;
    std::wstring shortPath(MAX_PATH, L'\0');
    DWORD n = GetShortPathNameW(path.c_str(), shortPath.data(), MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        shortPath.resize(n);
        return PassesAnsi(shortPath) ? shortPath : path;
    }
    // A file not made yet (the exchange file): the short form of its folder.
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return path;
    shortPath.assign(MAX_PATH, L'\0');
    n = GetShortPathNameW(path.substr(0, slash).c_str(), shortPath.data(), MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return path;
    shortPath.resize(n);
    const std::wstring joined = shortPath + path.substr(slash);
    return PassesAnsi(joined) ? joined : path;
}

std::vector<std::wstring> CharactersBeyondAnsi(const std::wstring& text, std::size_t most) {
    std::vector<std::wstring> found;
    if (PassesAnsi(text)) return found;
    for (std::size_t i = 0; i < text.size() && found.size() < most; ++i) {
        const std::size_t units =
            (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size()) ? 2 : 1;
        const std::wstring c = text.substr(i, units);
        if (!PassesAnsi(c) && std::find(found.begin(), found.end(), c) == found.end())
            found.push_back(c);
        i += units - 1;
    }
    return found;
}

std::wstring FirstCharacterBeyondAnsi(const std::wstring& text) {
    const std::vector<std::wstring> first = CharactersBeyondAnsi(text, 1);
    return first.empty() ? std::wstring() : first.front();
}

AnsiArg::AnsiArg(const std::wstring& text) {
    const std::string ansi = ToAnsi(text);
    buffer_.assign(ansi.begin(), ansi.end());
    buffer_.push_back('\0');
}

void AnsiArg::WriteBack(std::wstring& target) const {
    target = FromAnsi(buffer_.data(), buffer_.size() - 1);
}

}  // namespace dllscope
