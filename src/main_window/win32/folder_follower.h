#pragma once
// Form1 follows its folder: a thread waits for the system's change
// notifications of the folder and tells the window; once the changes have
// been quiet for a moment, File1 lists the folder's plugins as they are,
// the selection stays on its file name, and a selected plugin whose file
// was replaced is read again, as a selection reads it. The status line says
// what happened. Nothing of it takes the focus or touches the pane.
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "main_window/form1.h"
#include "main_window/program_folder.h"

namespace dllscope {

// What the follower needs of the window.
class FollowedWindow {
  public:
    virtual ~FollowedWindow() = default;
    virtual HWND Handle() const = 0;
    virtual Form1& Handlers() = 0;
    // A handler under way (its message boxes and windows pump messages).
    virtual bool InCommand() const = 0;
    // Runs `body` as the command `handler`, its listeners told.
    virtual void AsCommand(const std::wstring& handler, const std::function<void()>& body) = 0;
    // File1's entries; replaced, with `select` selected (-1: none) and no
    // selection event.
    virtual std::vector<std::wstring> FileListEntries() const = 0;
    virtual void ShowFileList(const std::vector<std::wstring>& names, int select) = 0;
    virtual void SetStatus(const std::wstring& text) = 0;
};

class FolderFollower {
  public:
    static constexpr UINT kChangedMessage = WM_APP + 40;
    static constexpr UINT_PTR kTimer = 40;

    FolderFollower(FollowedWindow& window, std::wstring folder);
    ~FolderFollower();
    FolderFollower(const FolderFollower&) = delete;
    FolderFollower& operator=(const FolderFollower&) = delete;

    // The window forwards its kChangedMessage and its kTimer here.
    void OnChanged();
    void OnTimer();

  private:
    using Stamp = std::pair<unsigned long long, unsigned long long>;  // size, last write
    static DWORD WINAPI Waiting(void* self);
    void Follow();
    // From one reading of the folder, which also gives the list.
    static std::map<std::wstring, Stamp> Stamps(const std::vector<FolderEntry>& entries);

    FollowedWindow& window_;
    std::wstring folder_;
    HANDLE notification_ = INVALID_HANDLE_VALUE, stop_ = nullptr, thread_ = nullptr;
    std::map<std::wstring, Stamp> stamps_;  // the listed files' as last seen
    int tries_ = 0;                         // rounds the selected file could not be read
};

}  // namespace dllscope
