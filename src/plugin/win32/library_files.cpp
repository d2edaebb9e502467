#include "plugin/win32/library_files.h"

#include <windows.h>

namespace dllscope {

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart < (1LL << 30);
    if (ok) {
        bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
        DWORD got = 0;
        ok = bytes.empty() ||
             (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
              got == bytes.size());
    }
    CloseHandle(file);
    return ok;
}

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
