#pragma once
// How a check judges what it measured: the growth over the cycles (after
// their warm-up), a result that looks like UTF-16, input the ANSI code page
// cannot carry, and where an output first differs from the expected one.
#include <string>
#include <vector>

#include "check/check_records.h"

namespace dllscope {

// What a leak measured, as its report names it.
inline constexpr wchar_t kHandleLeak[] = L"Handles";
inline constexpr wchar_t kTlsLeak[] = L"TLS-Indizes";
inline constexpr wchar_t kHeapLeak[] = L"Heap-Bytes in Benutzung";
inline constexpr wchar_t kCommittedLeak[] = L"privater Speicher (Bytes)";

// The cycles that count as warm-up before the growth is measured: the first
// fifth, at least one.
int WarmUpCycles(int cycles);

// The leaks shown by the usage after each cycle (`afterCycle`, one entry a
// cycle): the steady growth from the end of the warm-up to the last cycle,
// spread over it (a one-off step is none): handles, TLS indexes, the bytes
// in use in the heaps, and committed memory beyond them.
// `newHandleTypes` are the system's type names of the handles that came in
// that time ("Event", "Thread", ...), `mingwRuntime` whether the plugin
// links the MinGW C runtime (for the hint). `checkersProcess`: the plugin
// ran in the checker's own process, whose own work moves its heaps by a few
// hundred bytes a cycle; there only a kibibyte a cycle counts, and the leak
// says so.
std::vector<CheckLeak> JudgeGrowth(const std::vector<CycleUsage>& afterCycle,
                                   const std::vector<std::wstring>& newHandleTypes,
                                   bool mingwRuntime, bool checkersProcess = false);

// A 32-bit plugin with MinGW's winpthreads linked in keeps the record of
// the thread that loaded it (and its list of ids) after each FreeLibrary:
// the same few hundred bytes in every cycle, which no function gives back.
// When the heaps' leak is just that, it leaves `leaks` and the words of a
// note come back; else nothing.
std::wstring TakeThreadRecordResidue(const std::vector<CycleUsage>& afterCycle,
                                     std::vector<CheckLeak>& leaks);
// Whether a plugin's bytes hold winpthreads linked in (not its DLL).
bool LinksWinpthreadsStatically(const std::string& bytes);

// Warnings about a run's text that do not fail the plugin (unless --strict).
// A type-1 result whose bytes look like UTF-16 (NULs between ASCII characters).
bool LooksLikeUtf16(const std::wstring& result);
std::wstring Utf16Warning();
// The input's characters that the ANSI code page cannot carry.
std::wstring BeyondAnsiWarning(const std::vector<std::wstring>& characters);

// Where two outputs part (see Difference); false when they are equal.
bool FirstDifference(const std::string& expected, const std::string& actual, Difference& where);

}  // namespace dllscope
