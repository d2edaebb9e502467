#pragma once
// The JUnit XML report of a check, for CI.
#include <string>
#include <vector>

#include "check/check_report.h"

namespace dllscope {

// A UTF-8 text as XML 1.0 character data or attribute value: escaped, and
// what XML does not allow (C0 controls but tab, LF and CR; U+FFFE, U+FFFF)
// as U+FFFD.
std::string XmlText(const std::string& text);

// The JUnit XML report: a testsuite per plugin, a testcase for the selection,
// one per case and one for the leak check when there were cycles to compare.
// `error`: why the check stopped before its end, as a case of its own.
std::string JUnitReport(const std::vector<PluginReport>& reports, bool leakCheck,
                        const std::wstring& error = std::wstring());

}  // namespace dllscope
