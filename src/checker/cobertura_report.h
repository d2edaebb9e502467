#pragma once
// The lines the check reached as a Cobertura XML report, the format CI
// services show beside a change (GitLab, Jenkins, GitHub's report actions):
// a package per plugin, a class per source file, a line per line of code
// with its hits (1 reached, 0 not). Source paths relative to `sourceRoot`
// where they lie below it.
#include <string>
#include <vector>

#include "check/check_records.h"

namespace dllscope {

std::string CoberturaReport(const std::vector<PluginReport>& reports,
                            const std::wstring& sourceRoot);

}  // namespace dllscope
