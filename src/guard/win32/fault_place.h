#pragma once
// Where an address lies: the module and its offset, and the nearest export
// below it, read from the module's export directory under the guard.
#include <windows.h>

#include <string>

namespace dllscope {

struct Place {
    std::wstring module;  // file name, empty when the address lies in none
    std::wstring offset;  // "crash.dll+0x1A2B", or the bare address
    std::wstring symbol;  // "crash.dll!TsRun+0x1C", or empty
};

Place PlaceOf(const void* address);

// "in crash.dll!TsRun+0x1C (crash.dll+0x1A2B)", "in crash.dll+0x1A2B" when no
// export lies below, else "an Adresse 0x...".
std::wstring Location(const void* address);

// "0x1A2B", at least `digits` digits.
std::wstring Hex(ULONG_PTR value, int digits);

}  // namespace dllscope
