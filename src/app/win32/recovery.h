#pragma once
// The copy of the editor text that outlives a crash. Dllscope writes it
// before each call into foreign code when the text has changed since the
// last copy, and removes it when it ends normally; a copy that an instance
// left behind (a plugin ended the process, a hung plugin was ended, the
// power went) is offered back at the next start.
#include <windows.h>

#include <string>
#include <vector>

namespace dllscope {

class RecoveryFile {
  public:
    // The copy of this instance, in `folder` (see RecoveryFolder); the file
    // is made at the first Write.
    explicit RecoveryFile(const std::wstring& folder);
    ~RecoveryFile();
    RecoveryFile(const RecoveryFile&) = delete;
    RecoveryFile& operator=(const RecoveryFile&) = delete;

    // Replaces the copy with `text`, as UTF-8 with a byte-order mark. The file
    // stays open, so that no other instance takes it for a left-over copy.
    // False when it could not be written.
    bool Write(const std::wstring& text);

    // A normal end: removes this instance's copy and the left-over copies
    // the user chose to keep until now.
    void RemoveAtNormalEnd();
    void RemoveAtNormalEnd(const std::wstring& leftOver) { keptUntilEnd_.push_back(leftOver); }

    const std::wstring& Path() const { return path_; }

  private:
    std::wstring path_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::vector<std::wstring> keptUntilEnd_;
};

// %LOCALAPPDATA%\Dllscope (made when missing).
std::wstring RecoveryFolder();

// The copies in `folder` that no running instance holds open, oldest first.
std::vector<std::wstring> LeftOverCopies(const std::wstring& folder);

}  // namespace dllscope
