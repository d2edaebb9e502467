#pragma once
// The editor pane on the RichEdit control, in plain-text mode.
#include <windows.h>

#include "editor/editor_pane.h"

namespace dllscope {

class RichEditPane : public EditorPane {
  public:
    // A child of `parent` at the given place in pixels; `dpi` sets the font size.
    RichEditPane(HWND parent, int id, const RECT& bounds, int dpi);
    ~RichEditPane() override;
    RichEditPane(const RichEditPane&) = delete;
    RichEditPane& operator=(const RichEditPane&) = delete;

    HWND Handle() const { return hwnd_; }

    std::wstring Text() override;
    std::wstring WorkText() override;
    void SetWorkText(const std::wstring& text) override;
    void LoadFile(std::wstring& fileName) override;
    void RunCommand(std::int32_t command, EditorPane& pane) override;
    void SetFocus() override;

    // Whether the text has changed since the last call (typing, a plugin's
    // write, a loaded file, undo); the first call tells whether it changed
    // since the pane was made.
    bool TakeChanged();

  private:
    std::wstring GetText(DWORD flags, LONG units);
    void SetText(const std::wstring& text, DWORD flags);
    LONG Length();  // in the control's own characters (a line break counts once)

    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
};

}  // namespace dllscope
