#pragma once
// The copy of the editor text that outlives a crash. Dllscope writes it
// before each call into foreign code when the text has changed since the
// last copy, and removes it when it ends normally; a copy that an instance
// left behind (a plugin ended the process, a hung plugin was ended, the
// power went) is offered back at the next start.
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "editor/win32/code_pane.h"

namespace dllscope {

class RecoveryFile {
  public:
    // The copy of this instance, in `folder` (see RecoveryFolder); the file
    // is made at the first Write.
    explicit RecoveryFile(const std::wstring& folder);
    ~RecoveryFile();
    RecoveryFile(const RecoveryFile&) = delete;
    RecoveryFile& operator=(const RecoveryFile&) = delete;

    // Replaces the copy with the UTF-8 `text`, behind a byte-order mark. The
    // file stays open, so that no other instance takes it for a left-over
    // copy. False when it could not be written.
    bool Write(const std::string& text);
    // Notes the call into foreign code about to be made ("Das Plugin
    // „x.dll“, PluginRun") beside the copy, for the offer at the next start.
    void NoteCall(const std::wstring& words);

    // A normal end: removes this instance's copy and the left-over copies
    // the user chose to keep until now.
    void RemoveAtNormalEnd();
    void RemoveAtNormalEnd(const std::wstring& leftOver) { keptUntilEnd_.push_back(leftOver); }

    const std::wstring& Path() const { return path_; }

  private:
    std::wstring path_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    HANDLE call_ = INVALID_HANDLE_VALUE;
    std::vector<std::wstring> keptUntilEnd_;
};

// The copy of a pane's text: written before each call into foreign code
// when the text has changed since the last copy, offered back at the start
// of the next instance when this one did not end normally.
class TextRecovery {
  public:
    explicit TextRecovery(CodePane& pane);

    // Copies the text aside when it has changed since the last copy; a copy
    // that fails is tried again next time.
    void SaveIfChanged();
    // What RecoveryFile::NoteCall notes, when there is a copy to offer.
    void NoteCall(const std::wstring& words) {
        if (copy_ == Copy::Saved) file_.NoteCall(words);
    }
    // What the watchdog's box says about the text (read on its thread).
    std::wstring SavedTextNote() const;
    // Offers the texts that instances ending abnormally left behind, newest
    // first; boxes owned by `owner`.
    void OfferLeftOverText(HWND owner);
    void RemoveAtNormalEnd() { file_.RemoveAtNormalEnd(); }
    const RecoveryFile& File() const { return file_; }

  private:
    enum class Copy { None, Saved, Failed };
    CodePane& pane_;
    RecoveryFile file_;
    std::atomic<Copy> copy_{Copy::None};  // read by the watchdog's thread too
};

// %LOCALAPPDATA%\Dllscope (made when missing).
std::wstring RecoveryFolder();

// The copies in `folder` that no running instance holds open, oldest first.
std::vector<std::wstring> LeftOverCopies(const std::wstring& folder);
// Where the last call noted beside a copy lies.
std::wstring CallNoteOf(const std::wstring& copy);

}  // namespace dllscope
