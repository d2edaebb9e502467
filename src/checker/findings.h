#pragma once
// The findings of a check one by one, for the reports that place each at a
// line of the author's source (SARIF, the CI's annotations): what failed,
// in which plugin, where in its source when its debug information says.
#include <cstdint>
#include <string>
#include <vector>

#include "check/check_records.h"

namespace dllscope {

struct Finding {
    const char* rule = "";  // "fault", "hang", "leak", "case", "fuzz", "problem", "warning"
    bool error = true;      // false: a warning that does not fail the plugin
    std::wstring plugin;    // the plugin's file
    std::wstring title;     // "Absturz in lines.dll"
    std::wstring message;   // the report's words
    std::wstring file;      // the source file (relative to the source root where it lies below it)
    std::uint32_t line = 0;
    std::wstring page;  // a case's name or a fuzz finding's page, when it has one
};

// The kinds of findings: rule, its name and what it means.
struct FindingRule {
    const char* id;
    const wchar_t* name;
    const wchar_t* description;
};
extern const FindingRule kFindingRules[7];

std::vector<Finding> Findings(const std::vector<PluginReport>& reports,
                              const std::wstring& sourceRoot);

// A path the compiler recorded (the build machine's, Unix or Windows form)
// relative to `root` with forward slashes, where it lies below it; else
// with forward slashes only.
std::wstring RelativeSource(const std::wstring& file, const std::wstring& root);

}  // namespace dllscope
