#include "diagnosis/win32/library_files.h"

#include <windows.h>

namespace dllscope {

std::vector<std::wstring> LoaderSearchFolders() {
    wchar_t folder[MAX_PATH];
    std::vector<std::wstring> folders;
    const UINT system = GetSystemDirectoryW(folder, MAX_PATH);
    folders.emplace_back(folder, system < MAX_PATH ? system : 0);
    const UINT windows = GetWindowsDirectoryW(folder, MAX_PATH);
    const std::wstring windowsFolder(folder, windows < MAX_PATH ? windows : 0);
    folders.push_back(windowsFolder + L"\\system");
    folders.push_back(windowsFolder);
    std::wstring path(32767, L'\0');
    path.resize(GetEnvironmentVariableW(L"PATH", path.data(), static_cast<DWORD>(path.size())));
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find(L';', start);
        if (end == std::wstring::npos) end = path.size();
        if (end > start) folders.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return folders;
}

}  // namespace dllscope
