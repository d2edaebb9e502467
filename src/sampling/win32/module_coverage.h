#pragma once
// The marks of a plugin's lines from the best source its file has: its own
// line table (DWARF), else the program database it names, else the starts
// of its functions.
#include <string>
#include <string_view>

#include "sampling/line_coverage.h"

namespace dllscope {

// `path`: the plugin's file on disk, `file`: its bytes.
CoverageMap ModuleCoverageMap(const std::wstring& path, std::string_view file);

}  // namespace dllscope
