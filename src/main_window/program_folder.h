#pragma once
// The list of plugin libraries in the program folder.
#include <string>
#include <vector>

namespace dllscope {

struct FolderEntry {
    std::wstring name;
    bool directory = false;
    bool hidden = false;
    bool system = false;
    unsigned long long size = 0;     // bytes
    unsigned long long written = 0;  // the last write, in the system's ticks
};

// The names that File1 lists: files (no folders, no hidden or system files)
// whose names end in ".dll" in any case, sorted without regard to case.
std::vector<std::wstring> PluginLibraryNames(const std::vector<FolderEntry>& entries);

}  // namespace dllscope
