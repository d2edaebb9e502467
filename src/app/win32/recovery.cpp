#include "app/win32/recovery.h"

#include <algorithm>

#include "common/paths.h"
#include "common/win32/ansi.h"

namespace dllscope {
namespace {

constexpr wchar_t kPrefix[] = L"Dllscope-Text-";

std::string Utf8WithBom(const std::wstring& text) { return "\xEF\xBB\xBF" + Encode(CP_UTF8, text); }

}  // namespace

std::wstring RecoveryFolder() {
    std::wstring base(MAX_PATH, L'\0');
    DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", base.data(), MAX_PATH);
    if (n == 0 || n >= MAX_PATH) n = GetTempPathW(MAX_PATH, base.data());
    base.resize(n);
    const std::wstring folder = InFolder(base, L"Dllscope");
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::vector<std::wstring> LeftOverCopies(const std::wstring& folder) {
    std::vector<std::pair<ULONGLONG, std::wstring>> found;
    WIN32_FIND_DATAW data;
    const HANDLE find =
        FindFirstFileW(InFolder(folder, std::wstring(kPrefix) + L"*.txt").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return {};
    do {
        const std::wstring path = InFolder(folder, data.cFileName);
        // A running instance holds its copy open without sharing deletion.
        const HANDLE probe = CreateFileW(path.c_str(), DELETE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
        if (probe == INVALID_HANDLE_VALUE) continue;
        CloseHandle(probe);
        const ULONGLONG written =
            (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
            data.ftLastWriteTime.dwLowDateTime;
        found.emplace_back(written, path);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(found.begin(), found.end());
    std::vector<std::wstring> paths;
    for (auto& f : found) paths.push_back(std::move(f.second));
    return paths;
}

RecoveryFile::RecoveryFile(const std::wstring& folder) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    // The process id and the start time: two instances never share a name.
    path_ =
        InFolder(folder, std::wstring(kPrefix) + std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) |
                                             now.dwLowDateTime) +
                             L".txt");
}

RecoveryFile::~RecoveryFile() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

bool RecoveryFile::Write(const std::wstring& text) {
    if (file_ == INVALID_HANDLE_VALUE) {
        file_ = CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file_ == INVALID_HANDLE_VALUE) return false;
    }
    const std::string bytes = Utf8WithBom(text);
    LARGE_INTEGER start{};
    DWORD written = 0;
    bool ok = SetFilePointerEx(file_, start, nullptr, FILE_BEGIN) &&
              WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size() && SetEndOfFile(file_);
    // On the disk, not only in the cache: the power may go too.
    ok = FlushFileBuffers(file_) && ok;
    return ok;
}

void RecoveryFile::RemoveAtNormalEnd() {
    if (file_ != INVALID_HANDLE_VALUE) {
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
        DeleteFileW(path_.c_str());
    }
    for (const std::wstring& leftOver : keptUntilEnd_) DeleteFileW(leftOver.c_str());
    keptUntilEnd_.clear();
}

}  // namespace dllscope
