#include "main_window/win32/folder_entries.h"

#include <windows.h>

#include "common/paths.h"

namespace dllscope {

std::vector<FolderEntry> ReadFolder(const std::wstring& folder) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileExW(InFolder(folder, L"*").c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return entries;
    do {
        const DWORD a = found.dwFileAttributes;
        entries.push_back(
            {found.cFileName, (a & FILE_ATTRIBUTE_DIRECTORY) != 0, (a & FILE_ATTRIBUTE_HIDDEN) != 0,
             (a & FILE_ATTRIBUTE_SYSTEM) != 0,
             (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow,
             (static_cast<unsigned long long>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                 found.ftLastWriteTime.dwLowDateTime});
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return entries;
}

}  // namespace dllscope
