#pragma once
// What dllscope-check makes of its records (check_records.h): the growth
// judged, the output compared, and how it says so: one German line per check
// for people, one JSON object for machines.
#include <string>
#include <vector>

#include "check/check_records.h"

namespace dllscope {

// The cycles that count as warm-up before the growth is measured: the first
// fifth, at least one.
int WarmUpCycles(int cycles);

// The leaks shown by the usage after each cycle (`afterCycle`, one entry a
// cycle): the steady growth from the end of the warm-up to the last cycle.
// `newHandleTypes` are the system's type names of the handles that came in
// that time ("Event", "Thread", ...), `mingwRuntime` whether the plugin
// links the MinGW C runtime (for the hint).
std::vector<CheckLeak> JudgeGrowth(const std::vector<CycleUsage>& afterCycle,
                                   const std::vector<std::wstring>& newHandleTypes,
                                   bool mingwRuntime);

// Warnings about a run's text that do not fail the plugin (unless --strict).
// A type-1 result whose bytes look like UTF-16 (NULs between ASCII characters).
bool LooksLikeUtf16(const std::wstring& result);
std::wstring Utf16Warning();
// The input's characters that the ANSI code page cannot carry.
std::wstring BeyondAnsiWarning(const std::vector<std::wstring>& characters);

// Where two outputs part (see Difference); false when they are equal.
bool FirstDifference(const std::string& expected, const std::string& actual, Difference& where);

// As the JSON names it: "passed", "failed", "hang", "ended", "leak".
const char* VerdictName(Verdict verdict);
// As the report for people says it: "bestanden", "hängt", "nicht bestanden".
std::wstring VerdictWords(Verdict verdict);

// "Zugriffsverletzung in x.dll!TsRun+0x1C", "Leck (Handles)", "hängt".
std::wstring FindingTitle(const FuzzFinding& finding);

// A text as one line of the report: line breaks and control characters made
// visible ("\\n", "\\x1B"), so that nothing a plugin says can start a line.
std::wstring Visible(const std::wstring& text);
// A text of many lines, each on a line of its own behind `indent` and "| ".
std::wstring Block(const std::wstring& text, const std::wstring& indent);

// The first `lines` lines of a text, and a line saying how many were left out.
std::wstring FirstLines(const std::wstring& text, std::size_t lines);

// A JSON string (UTF-8, escaped, quoted).
std::string JsonString(const std::wstring& text);
std::string PluginJson(const PluginReport& report);
// The lines for people, each ending in "\n".
std::wstring PluginText(const PluginReport& report);
// "Fälle: 3 von 4 bestanden" over the cases of `reports`; empty when there were none.
std::wstring CasesSummary(const std::vector<PluginReport>& reports);
// 0 every plugin passed, 3 one hung, else 1.
int CheckExitCode(const std::vector<PluginReport>& reports);

}  // namespace dllscope
