#pragma once
// The editor pane of both windows: a code editor (Scintilla) with HTML
// highlighting and line numbers. Its text is kept as it is, line breaks
// included; it answers the standard text messages of an edit control in
// UTF-16, from this process and from others.
#include <windows.h>

#include <string>

#include <memory>

#include "editor/editor_pane.h"
#include "editor/win32/editor_component.h"

namespace dllscope {

class PaneSearch;

class CodePane : public EditorPane {
  public:
    // A child of `parent` at the given place in pixels, Courier New 11 pixels high at 96 DPI.
    CodePane(HWND parent, int id, const RECT& bounds, int dpi);
    ~CodePane() override;
    CodePane(const CodePane&) = delete;
    CodePane& operator=(const CodePane&) = delete;

    HWND Handle() const { return hwnd_; }
    // The component itself, for what a window adds to the pane (markers, a margin).
    EditorComponent& Component() { return component_; }

    std::wstring Text() override;
    std::wstring WorkText() override;
    void SetWorkText(const std::wstring& text) override;
    void LoadFile(std::wstring& fileName) override;
    void RunCommand(std::int32_t command, EditorPane& pane) override;
    void SetFocus() override;

    // The whole text as the component holds it: UTF-8, without conversion.
    std::string Utf8Text() const;
    // The selected text; empty when nothing is selected.
    std::wstring SelectedText() const;

    // Ctrl+O opens a file in this pane, and a file dropped on it replaces
    // its text (Form1's; Form2 shows results only).
    void TakeFiles();
    // Replaces the whole text with the file's, read as LoadFile reads it, as
    // one step of undo; a file that cannot be read leaves the text and says
    // so as LoadFile does.
    void ReplaceWithFile(const std::wstring& fileName);
    // Replaces the whole text, as one step of undo; the caret at the start.
    void ReplaceAll(const std::wstring& text);

    // Whether the text has changed since the last call (typing, a plugin's
    // write, a loaded file, undo).
    bool TakeChanged();
    // Counts as changed at the next TakeChanged (a copy that failed is tried again).
    void MarkChanged();

  private:
    void ShowProblem(const std::wstring& problem) const;
    std::wstring Range(TextPosition from, TextPosition to) const;
    static LRESULT CALLBACK Utf16Messages(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR self);

    HWND hwnd_ = nullptr;
    EditorComponent component_;
    bool written_ = false;  // changed by SetWorkText or LoadFile since TakeChanged
    bool takesFiles_ = false;
    std::unique_ptr<PaneSearch> search_;
};

}  // namespace dllscope
