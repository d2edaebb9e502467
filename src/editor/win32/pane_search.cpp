#include "editor/win32/pane_search.h"

#include "common/utf8.h"
#include "common/win32/app.h"
#include "common/win32/message_box.h"
#include "common/win32/ansi.h"

namespace dllscope {
namespace {

const UINT kFindMessage = RegisterWindowMessageW(FINDMSGSTRINGW);

bool Pressed(int key) { return GetKeyState(key) < 0; }

}  // namespace

PaneSearch::~PaneSearch() {
    if (dialog_) {
        ForgetModelessDialog(dialog_);
        DestroyWindow(dialog_);
    }
}

bool PaneSearch::OnKey(WPARAM key, bool openFiles) {
    const bool control = Pressed(VK_CONTROL), shift = Pressed(VK_SHIFT), alt = Pressed(VK_MENU);
    if (alt) return false;
    const bool find = control && !shift && key == 'F';
    const bool again = !control && key == VK_F3;
    const bool open = control && !shift && key == 'O' && openFiles;
    if (!find && !again && !open) return false;
    // The character the key made (Ctrl+F is 0x06) goes nowhere, not even
    // into the pane after a dialog.
    MSG character;
    PeekMessageW(&character, pane_.Handle(), WM_CHAR, WM_CHAR, PM_REMOVE);
    if (open) {
        OpenFile();
    } else if (again && what_[0]) {
        Find(!shift);
    } else {
        ShowDialog();
    }
    return true;
}

bool PaneSearch::OnMessage(UINT msg, LPARAM lParam) {
    if (msg != kFindMessage || !kFindMessage) return false;
    const auto* request = reinterpret_cast<const FINDREPLACEW*>(lParam);
    if (request->Flags & FR_DIALOGTERM) {
        ForgetModelessDialog(dialog_);
        dialog_ = nullptr;
        SetFocus(pane_.Handle());  // the keyboard back where it was
    } else if (request->Flags & FR_FINDNEXT) {
        Find((request->Flags & FR_DOWN) != 0);
    }
    return true;
}

void PaneSearch::ShowDialog() {
    if (dialog_) {
        SetActiveWindow(dialog_);
        return;
    }
    // The selection, when it is a word or so, is what to find.
    const std::string bytes = pane_.Range(pane_.SelectionStart(), pane_.SelectionEnd());
    const std::wstring selected = Decode(CP_UTF8, bytes.data(), bytes.size());
    if (!selected.empty() && selected.size() < 256 && selected.find(L'\n') == std::wstring::npos) {
        selected.copy(what_, selected.size());
        what_[selected.size()] = L'\0';
    }
    const DWORD options = find_.Flags & (FR_MATCHCASE | FR_WHOLEWORD);  // kept from the last time
    find_ = FINDREPLACEW{};
    find_.lStructSize = sizeof find_;
    find_.hwndOwner = pane_.Handle();
    find_.Flags = FR_DOWN | options;
    find_.lpstrFindWhat = what_;
    find_.wFindWhatLen = sizeof what_ / sizeof what_[0];
    dialog_ = FindTextW(&find_);
    if (dialog_) RememberModelessDialog(dialog_);
}

void PaneSearch::Find(bool down) {
    const std::string what = ToUtf8(what_);
    if (what.empty()) return;
    const bool matchCase = (find_.Flags & FR_MATCHCASE) != 0;
    const bool wholeWord = (find_.Flags & FR_WHOLEWORD) != 0;
    const TextPosition length = pane_.Length();
    const TextPosition from = pane_.SelectionStart(), to = pane_.SelectionEnd();
    TextPosition foundFrom = 0, foundTo = 0;
    const auto search = [&](TextPosition start, TextPosition end) {
        return pane_.Find(what, matchCase, wholeWord, start, end, foundFrom, foundTo);
    };
    bool found = down ? search(to, length) : search(from, 0);
    const bool wrapped = !found;
    if (wrapped) found = down ? search(0, length) : search(length, 0);
    if (!found) {
        const HWND owner = dialog_ ? dialog_ : GetAncestor(pane_.Handle(), GA_ROOT);
        ShowMessageBox(owner, L"\u201E" + std::wstring(what_) + L"\u201C wurde nicht gefunden.",
                       MB_ICONINFORMATION);
        return;
    }
    if (wrapped) MessageBeep(MB_OK);  // went round the end of the text
    pane_.Select(foundFrom, foundTo);
    pane_.ScrollToCaret();
}

void PaneSearch::OpenFile() {
    wchar_t name[MAX_PATH * 4] = L"";
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = GetAncestor(pane_.Handle(), GA_ROOT);
    dialog.lpstrFilter =
        L"HTML-Seiten (*.html, *.htm)\0*.html;*.htm\0Textdateien (*.txt)\0*.txt\0"
        L"Alle Dateien (*.*)\0*.*\0";
    dialog.lpstrFile = name;
    dialog.nMaxFile = sizeof name / sizeof name[0];
    dialog.lpstrTitle = L"Seite in den Editor laden";
    dialog.Flags =
        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (GetOpenFileNameW(&dialog)) openFile_(name);
    SetFocus(pane_.Handle());  // the keyboard back where it was
}

}  // namespace dllscope
