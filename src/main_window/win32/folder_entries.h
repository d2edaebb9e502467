#pragma once
// A folder's entries as the plugin list reads them.
#include <string>
#include <vector>

#include "main_window/program_folder.h"

namespace dllscope {

// The entries of `folder` with their kinds; empty when it cannot be read.
std::vector<FolderEntry> ReadFolder(const std::wstring& folder);

}  // namespace dllscope
