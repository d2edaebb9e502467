#pragma once
// Paths under the program folder, and the list of plugin libraries in it.
#include <string>
#include <vector>

namespace dllscope {

// The folder part of the executable's full path: no trailing backslash,
// except at the root of a drive ("C:\").
std::wstring FolderOf(const std::wstring& modulePath);

// folder + "\" + name, without doubling the backslash at a drive root.
std::wstring InFolder(const std::wstring& folder, const std::wstring& name);

struct FolderEntry {
    std::wstring name;
    bool directory = false;
    bool hidden = false;
    bool system = false;
};

// The names that File1 lists: files (no folders, no hidden or system files)
// whose names end in ".dll" in any case, sorted without regard to case.
std::vector<std::wstring> PluginLibraryNames(const std::vector<FolderEntry>& entries);

}  // namespace dllscope
