#include "main_window/win32/folder_follower.h"

#include <vector>

#include "common/paths.h"
#include "common/win32/files.h"
#include "common/win32/local_time.h"
#include "main_window/folder_follow.h"
#include "main_window/program_folder.h"
#include "main_window/win32/folder_entries.h"

namespace dllscope {
namespace {

// A burst of changes (a linker writing in pieces, a copy) is one once it
// has been quiet this long; a file another program still holds open for
// writing is tried again, at most this often.
constexpr UINT kQuietMilliseconds = 400;
constexpr int kTries = 25;

}  // namespace

FolderFollower::FolderFollower(FollowedWindow& window, std::wstring folder)
    : window_(window), folder_(std::move(folder)) {
    stamps_ = Stamps(ReadFolder(folder_));
    notification_ = FindFirstChangeNotificationW(
        folder_.c_str(), FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
    if (notification_ == INVALID_HANDLE_VALUE) return;  // the list stays as read at the start
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (stop_) thread_ = CreateThread(nullptr, 0, Waiting, this, 0, nullptr);
}

FolderFollower::~FolderFollower() {
    if (thread_) {
        SetEvent(stop_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    if (stop_) CloseHandle(stop_);
    if (notification_ != INVALID_HANDLE_VALUE) FindCloseChangeNotification(notification_);
}

DWORD WINAPI FolderFollower::Waiting(void* self) {
    auto* f = static_cast<FolderFollower*>(self);
    const HANDLE waits[] = {f->stop_, f->notification_};
    while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        PostMessageW(f->window_.Handle(), kChangedMessage, 0, 0);
        if (!FindNextChangeNotification(f->notification_)) break;
    }
    return 0;
}

void FolderFollower::OnChanged() {
    // Each change starts the quiet time again.
    SetTimer(window_.Handle(), kTimer, kQuietMilliseconds, nullptr);
}

void FolderFollower::OnTimer() {
    KillTimer(window_.Handle(), kTimer);
    // A command under way (a message box, a plugin's form) has it first.
    if (window_.InCommand() || !IsWindowEnabled(window_.Handle())) {
        OnChanged();
        return;
    }
    Follow();
}

std::map<std::wstring, FolderFollower::Stamp> FolderFollower::Stamps(
    const std::vector<FolderEntry>& entries) {
    std::map<std::wstring, Stamp> stamps;
    for (const FolderEntry& e : entries)
        if (!e.directory) stamps[LowerName(e.name)] = {e.size, e.written};
    return stamps;
}

void FolderFollower::Follow() {
    const std::wstring selected = window_.Handlers().SelectedPluginFileName();
    const std::vector<FolderEntry> entries = ReadFolder(folder_);
    const ListUpdate u =
        FollowFolder(window_.FileListEntries(), selected, PluginLibraryNames(entries));
    if (u.changed) window_.ShowFileList(u.names, u.select);
    if (u.selectionGone) {
        window_.Handlers().SelectionGone();
        window_.SetStatus(GoneWords(selected, LocalTimeOfDay()));
    }
    std::map<std::wstring, Stamp> now = Stamps(entries);
    const std::wstring key = LowerName(selected);
    const bool replaced = !selected.empty() && !u.selectionGone && now.count(key) &&
                          (!stamps_.count(key) || stamps_[key] != now[key]);
    if (replaced && !ReadableNow(InFolder(folder_, selected)) && ++tries_ < kTries) {
        OnChanged();  // still being written: once more after a quiet time
        return;
    }
    tries_ = 0;
    stamps_ = std::move(now);
    if (!replaced) return;
    bool read = false;
    window_.AsCommand(L"Neu eingelesen", [&] { read = window_.Handlers().ReadSelectedAgain(); });
    window_.SetStatus(read ? ReadAgainWords(selected, LocalTimeOfDay())
                           : UnreadableWords(selected, LocalTimeOfDay(), kInvalidDll));
}

}  // namespace dllscope
