#pragma once
// The editor component (Scintilla) spoken to by name: everything the panes
// ask of it, and the only place that sends it its messages. Positions are
// the component's: byte offsets into its UTF-8 text.
#include <windows.h>

#include <string>

namespace dllscope {

using TextPosition = LRESULT;

enum class MarkerShape { LineBackground, Minus, Plus };

class EditorComponent {
  public:
    explicit EditorComponent(HWND window = nullptr) : hwnd_(window) {}
    // A new component window, as a child of `parent`.
    static HWND Create(HWND parent, int id, const RECT& bounds);
    HWND Handle() const { return hwnd_; }

    // HTML with its colours, Courier New, line numbers, UTF-8, a typed
    // Enter as CR LF and pasted line breaks as they came.
    void ShowAsHtml();

    TextPosition Length() const;
    std::string Text() const;  // the whole text
    std::string Range(TextPosition from, TextPosition to) const;
    void SetText(const std::string& utf8);  // one step of undo with what went before
    void Replace(TextPosition from, TextPosition to, const std::string& utf8);
    void ReplaceSelection(const std::string& utf8);
    // The whole text anew, no undo back to the old one.
    void Reset(const std::string& utf8);
    void SetReadOnly(bool readOnly);

    void BeginUndoStep();
    void EndUndoStep();
    void Undo();
    bool CanUndo() const;
    // Changed since the last SetSavePoint.
    bool Modified() const;
    void SetSavePoint();

    TextPosition SelectionStart() const;
    TextPosition SelectionEnd() const;
    TextPosition Caret() const;
    void Select(TextPosition from, TextPosition to);
    void SelectAll();
    void GoTo(TextPosition position);
    void ScrollToCaret();
    // UTF-16 code units before `position`, and the position after `units` of them.
    LONG CodeUnitsBefore(TextPosition position) const;
    TextPosition PositionAfterCodeUnits(LONG units) const;

    std::size_t LineOf(TextPosition position) const;
    // The caret to the start of `line` (0-based), the line in the middle.
    void GoToLineCentred(std::size_t line);

    void DefineMarker(int marker, MarkerShape shape, COLORREF background = 0);
    void AddMarker(std::size_t line, int marker);
    void DeleteAllMarkers();
    // A margin of `width` pixels showing the markers of `markerMask`.
    void ShowSymbolMargin(int margin, int width, int markerMask);

    // The first occurrence of `utf8` between `from` and `to` (upwards when
    // `from` > `to`): true with its range in `found*`.
    bool Find(const std::string& utf8, bool matchCase, bool wholeWord, TextPosition from,
              TextPosition to, TextPosition& foundFrom, TextPosition& foundTo);

  private:
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    HWND hwnd_;
};

}  // namespace dllscope
