#include "common/win32/ansi.h"

#include <climits>

namespace dllscope {

std::string ToAnsi(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::wstring FromAnsi(const char* data, std::size_t size) {
    if (size == 0) return std::wstring();
    const int len = static_cast<int>(size);
    const int n = MultiByteToWideChar(CP_ACP, 0, data, len, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, data, len, out.data(), n);
    return out;
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
