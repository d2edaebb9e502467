#pragma once
// Addresses and codes in the reports' hexadecimal form.
#include <windows.h>

#include <string>

namespace dllscope {

// "0x1A2B", at least `digits` digits.
std::wstring Hex(ULONG_PTR value, int digits);

}  // namespace dllscope
