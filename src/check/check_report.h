#pragma once
// How the check of one plugin is said for people: the report's lines, the
// verdicts in words, a finding's title. The checker prints it, the
// examination window shows it.
#include <string>
#include <vector>

#include "check/check_records.h"

namespace dllscope {

// A fault's code as the reports write it: "0xC0000005".
std::wstring CodeHex(unsigned long code);

// The verdict of a plugin's whole check.
Verdict PluginVerdict(const PluginReport& report);
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

// The lines for people, each ending in "\n".
std::wstring PluginText(const PluginReport& report);
// "Fälle: 3 von 4 bestanden" over the cases of `reports`; empty when there were none.
std::wstring CasesSummary(const std::vector<PluginReport>& reports);

}  // namespace dllscope
