#pragma once
// What the keyboard adds to a pane: Ctrl+F opens the standard find dialog
// (F3 and Shift+F3 go on; case and whole-word options; a search that wraps
// round beeps), and in a pane that takes files Ctrl+O opens one in place of
// the text, read as LoadFile reads it, as one step of undo.
#include <windows.h>
#include <commdlg.h>

#include <functional>
#include <string>

#include "editor/win32/editor_component.h"

namespace dllscope {

class PaneSearch {
  public:
    // `openFile` replaces the pane's text with a file's.
    PaneSearch(EditorComponent& pane, std::function<void(const std::wstring&)> openFile)
        : pane_(pane), openFile_(std::move(openFile)) {}
    ~PaneSearch();
    PaneSearch(const PaneSearch&) = delete;
    PaneSearch& operator=(const PaneSearch&) = delete;

    // A key the pane got; true when it was one of these.
    bool OnKey(WPARAM key, bool openFiles);
    // The find dialog's registered message; true when it was that.
    bool OnMessage(UINT msg, LPARAM lParam);

  private:
    void ShowDialog();
    void Find(bool down);
    void OpenFile();

    EditorComponent& pane_;
    std::function<void(const std::wstring&)> openFile_;
    FINDREPLACEW find_{};
    wchar_t what_[256] = L"";
    HWND dialog_ = nullptr;
};

}  // namespace dllscope
