#include "checker/win32/watch_loop.h"

#include <windows.h>

#include <algorithm>

#include "checker/watch.h"
#include "common/paths.h"
#include "common/win32/local_time.h"
#include "check/win32/check_system.h"
#include "common/win32/files.h"

namespace dllscope {
namespace {

// A burst of writes counts as one change once it has been quiet this long;
// a file another program still holds open for writing is tried again, at
// most this often.
constexpr double kQuietMilliseconds = 400;
constexpr int kBusyTries = 25;

HANDLE stopEvent = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD) {
    if (stopEvent) SetEvent(stopEvent);
    return TRUE;  // the watch ends with the last run's exit code
}

FileStamp Stamp(const WIN32_FILE_ATTRIBUTE_DATA& d) {
    FileStamp s;
    s.present = true;
    s.size = (static_cast<long long>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
    s.written = (static_cast<unsigned long long>(d.ftLastWriteTime.dwHighDateTime) << 32) |
                d.ftLastWriteTime.dwLowDateTime;
    return s;
}

// A file's stamp, or a folder's: its files' sizes and times summed, with
// their count, so that a file added, removed or rewritten changes it.
FileStamp LookAt(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d)) return FileStamp{};
    if (!(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return Stamp(d);
    FileStamp sum;
    sum.present = true;
    WIN32_FIND_DATAW f;
    const HANDLE find = FindFirstFileW(InFolder(path, L"*").c_str(), &f);
    if (find == INVALID_HANDLE_VALUE) return sum;
    do {
        if (f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        WIN32_FILE_ATTRIBUTE_DATA one{f.dwFileAttributes, f.ftCreationTime, f.ftLastAccessTime,
                                      f.ftLastWriteTime,  f.nFileSizeHigh,  f.nFileSizeLow};
        const FileStamp s = Stamp(one);
        sum.size += s.size + 1;
        sum.written += s.written;
    } while (FindNextFileW(find, &f));
    FindClose(find);
    return sum;
}

// The folders whose change notifications cover `paths`.
std::vector<HANDLE> Notifications(const std::vector<std::wstring>& paths) {
    std::vector<std::wstring> folders;
    for (const std::wstring& path : paths) {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        const bool folder =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        std::wstring watched = folder ? FullPath(path) : FolderOf(FullPath(path));
        bool known = false;
        for (const std::wstring& f : folders) known = known || LowerName(f) == LowerName(watched);
        if (!known && !watched.empty()) folders.push_back(watched);
    }
    std::vector<HANDLE> handles;
    for (const std::wstring& folder : folders) {
        const HANDLE h = FindFirstChangeNotificationW(
            folder.c_str(), FALSE,
            FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
        if (h != INVALID_HANDLE_VALUE) handles.push_back(h);
    }
    return handles;
}

}  // namespace

int WatchAndCheckAgain(const CheckOptions& options, int code,
                       const std::function<int()>& checkAgain,
                       const std::function<void(const std::wstring&)>& say) {
    const std::vector<std::wstring> paths = WatchedPaths(options);
    WatchedFiles files(paths, LookAt);
    std::vector<HANDLE> waits = Notifications(paths);
    if (waits.empty()) {
        say(L"--watch: keiner der Ordner der Dateien kann beobachtet werden; die Prüfung endet.\n");
        return code;
    }
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    waits.push_back(stopEvent);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    say(L"Warte auf Änderungen (Strg+C beendet) …\n");
    Debounce debounce(kQuietMilliseconds);
    std::vector<std::wstring> pending;
    int busy = 0;
    for (;;) {
        const double now = static_cast<double>(GetTickCount64());
        const double wait = debounce.Wait(now);
        const DWORD which = WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(),
                                                   FALSE, wait < 0 ? INFINITE : DWORD(wait) + 1);
        if (which == WAIT_OBJECT_0 + waits.size() - 1 || which == WAIT_FAILED) break;
        if (which < WAIT_OBJECT_0 + waits.size()) {
            FindNextChangeNotification(waits[which - WAIT_OBJECT_0]);
            debounce.Changed(static_cast<double>(GetTickCount64()));
            continue;
        }
        if (!debounce.Due(static_cast<double>(GetTickCount64()))) continue;
        debounce.Taken();
        for (const std::wstring& path : files.Changed(LookAt))
            if (std::find(pending.begin(), pending.end(), path) == pending.end())
                pending.push_back(path);
        if (pending.empty()) continue;
        // A file still being written (or not there again yet) is waited for.
        bool ready = true;
        for (const std::wstring& path : pending) ready = ready && ReadableNow(path);
        if (!ready && ++busy < kBusyTries) {
            debounce.Changed(static_cast<double>(GetTickCount64()));
            continue;
        }
        busy = 0;
        say(ChangeLine(LocalTimeOfDay(), pending) + L"\n");
        pending.clear();
        code = checkAgain();
    }
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    for (const HANDLE h : waits) {
        if (h == stopEvent) {
            CloseHandle(h);
        } else {
            FindCloseChangeNotification(h);
        }
    }
    stopEvent = nullptr;
    return code;
}

}  // namespace dllscope
