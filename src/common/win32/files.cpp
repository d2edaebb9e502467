#include "common/win32/files.h"

#include <algorithm>

#include "common/paths.h"

namespace dllscope {

DWORD ReadWholeFile(const std::wstring& name, std::string& bytes) {
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD error = ERROR_SUCCESS;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        error = GetLastError();
    } else if (static_cast<unsigned long long>(size.QuadPart) > bytes.max_size() / 2) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    } else {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        std::size_t done = 0;
        while (done < bytes.size()) {
            DWORD chunk = 0;
            const DWORD want =
                static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
            if (!ReadFile(file, bytes.data() + done, want, &chunk, nullptr)) {
                error = GetLastError();
                break;
            }
            if (chunk == 0) break;  // the file became shorter
            done += chunk;
        }
        bytes.resize(done);
    }
    CloseHandle(file);
    return error;
}

std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return FolderOf(path);
}

bool ReadableNow(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

}  // namespace dllscope
