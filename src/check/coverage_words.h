#pragma once
// The lines a check reached, in words for its report.
#include <string>

#include "check/check_records.h"
#include "sampling/line_coverage.h"

namespace dllscope {

// "61 % der Zeilen von lines.c (84 von 137); nie erreicht: lines.c:40–47
// (WaitForever), …": the share is rounded down, so that 100 % means every
// line. Counted by functions, the missed ones are named.
std::wstring ReachWords(const LineCoverage& coverage);
// The report's lines of the coverage the cases and the fuzzing reached.
std::wstring CoverageLines(const PluginReport& r);

}  // namespace dllscope
