#include "common/german_number.h"

#include <cwchar>
#include <cwctype>

namespace dllscope {

std::wstring GermanNumber(double value, int digits) {
    wchar_t text[64];
    std::swprintf(text, 64, L"%.*f", digits, value);
    std::wstring t = text;
    const std::size_t point = t.find(L'.');
    if (point != std::wstring::npos) t[point] = L',';
    const std::size_t whole = point == std::wstring::npos ? t.size() : point;
    for (std::size_t at = whole; at > 3 && std::iswdigit(t[at - 4]); at -= 3)
        t.insert(at - 3, L".");
    return t;
}

std::wstring GermanDecimal(double value) {
    return GermanNumber(value, value == static_cast<long long>(value) ? 0 : 1);
}

}  // namespace dllscope
