#pragma once
// Exception codes the guard knows beyond the system's own.
#include <windows.h>

namespace dllscope {

// Foreign code touched a guard page that is no stack's (a stack grows past
// its own without an exception reaching anyone).
inline constexpr DWORD kGuardPageViolation = 0x80000001;
inline constexpr DWORD kStackBufferOverrun = 0xC0000409;
inline constexpr DWORD kMsvcCppException = 0xE06D7363;
inline constexpr DWORD kGccCppException = 0x20474343;
inline constexpr DWORD kDelphiException = 0x0EEDFADE;
inline constexpr DWORD kDotNetException = 0xE0434352;
// Raised by Dllscope when foreign code calls abort (std::terminate does).
inline constexpr DWORD kAbortException = 0xE0444C41;

// Exceptions that software raised: they have no place worth naming.
inline bool RaisedBySoftware(DWORD code) {
    return code == kMsvcCppException || code == kGccCppException || code == kDelphiException ||
           code == kDotNetException || code == kAbortException;
}

}  // namespace dllscope
