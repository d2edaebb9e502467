#include "common/win32/temp_folder.h"

#include <windows.h>

#include <cwctype>
#include <vector>

#include "common/paths.h"

namespace dllscope {
namespace {

// Removes the folder and what it holds, as far as it can: a file still
// open elsewhere stays. Nested folders go `depth` levels deep.
void RemoveTree(const std::wstring& folder, int depth) {
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW(InFolder(folder, L"*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = InFolder(folder, name);
            const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                                  !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
            if (isFolder && depth > 0) {
                RemoveTree(path, depth - 1);
            } else if (!isFolder) {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

std::wstring CurrentTemp() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    std::wstring folder(temp, n <= MAX_PATH ? n : 0);
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();
    return folder;
}

// Whether an entry of an environment block sets `name` (any case of letters).
bool Sets(const wchar_t* entry, const wchar_t* name) {
    std::size_t i = 0;
    for (; name[i]; ++i)
        if (std::towupper(entry[i]) != name[i]) return false;
    return entry[i] == L'=';
}

}  // namespace

PrivateTempFolder::PrivateTempFolder(const wchar_t* prefix) {
    static LONG made = 0;
    const std::wstring base = CurrentTemp();
    if (base.empty()) return;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::wstring path =
            InFolder(base, std::wstring(prefix) + L"-" + std::to_wstring(GetCurrentProcessId()) +
                               L"-" + std::to_wstring(InterlockedIncrement(&made)));
        if (CreateDirectoryW(path.c_str(), nullptr)) {
            path_ = path;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) return;
    }
}

PrivateTempFolder::~PrivateTempFolder() { Remove(); }

void PrivateTempFolder::Remove() {
    if (!path_.empty()) RemoveTree(path_, 16);
    path_.clear();
}

std::wstring EnvironmentWithTemp(const std::wstring& folder) {
    std::wstring block;
    if (wchar_t* all = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = all; *entry; entry += wcslen(entry) + 1) {
            if (Sets(entry, L"TEMP") || Sets(entry, L"TMP")) continue;
            block.append(entry);
            block.push_back(L'\0');
        }
        FreeEnvironmentStringsW(all);
    }
    for (const wchar_t* name : {L"TEMP=", L"TMP="}) {
        block += name + folder;
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

void UseTempFolder(const std::wstring& folder) {
    if (folder.empty()) return;
    SetEnvironmentVariableW(L"TEMP", folder.c_str());
    SetEnvironmentVariableW(L"TMP", folder.c_str());
}

}  // namespace dllscope
