#pragma once
// Results that foreign code returns as a BSTR, read and freed under the
// guard: hostile input, every read bounded by the block that holds it.
#include <windows.h>
#include <oleauto.h>

#include <string>

namespace dllscope {

struct ForeignCall;

// Reads a BSTR that foreign code returned as ANSI bytes (its
// SysStringByteLen bytes; a null BSTR is empty) and frees it, under the
// guard. A result that is no BSTR of the system's allocator (a malloc'd or
// static char*, a pointer into the input, garbage), or whose length claims
// more than its block holds, is not read beyond its block: it throws
// RuntimeError naming `call` and the reason, as does a result too large
// for the memory left.
std::string TakeForeignBstrBytes(const ForeignCall& call, BSTR result);

// The same for a BSTR of ANSI bytes, as the bridge and the demo exports
// return them (embedded NULs kept), converted from the ANSI code page.
std::wstring TakeForeignAnsiBstr(const ForeignCall& call, BSTR result);
// Those bytes, once taken, as text; a result too large for the memory left
// throws as above.
std::wstring ForeignAnsiText(const ForeignCall& call, const std::string& bytes);

}  // namespace dllscope
