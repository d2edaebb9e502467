#include "guard/win32/fault_place.h"

#include <cwchar>

namespace dllscope {

std::wstring Hex(ULONG_PTR value, int digits) {
    wchar_t text[32];
    std::swprintf(text, 32, L"0x%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

}  // namespace dllscope
