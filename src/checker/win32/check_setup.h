#pragma once
// What dllscope-check makes sure of before the first plugin: the bridge,
// the plugins, the files and the folder of cases it was given.
#include <string>

#include "checker/check_options.h"

namespace dllscope {

// Why the check cannot be made (a setup error), or empty.
std::wstring SetupProblem(const CheckOptions& options, const std::wstring& bridge);

}  // namespace dllscope
