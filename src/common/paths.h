#pragma once
// Paths: the folder of a file, a name in a folder.
#include <string>

namespace dllscope {

// The folder part of the executable's full path: no trailing backslash,
// except at the root of a drive ("C:\").
std::wstring FolderOf(const std::wstring& modulePath);

// folder + "\" + name, without doubling the backslash at a drive root.
std::wstring InFolder(const std::wstring& folder, const std::wstring& name);

// The file name part of a path.
std::wstring FileNameOf(const std::wstring& path);

// A name with its ASCII letters in lower case: file names compared as the
// system compares them ("KERNEL32.dll", "Seite.HTML").
std::wstring LowerName(std::wstring name);

}  // namespace dllscope
