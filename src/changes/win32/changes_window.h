#pragma once
// "Änderungen des letzten Laufs": the text before and after the last run
// that changed Form1's pane, as one text with the removed lines and the
// inserted ones marked; F8 and Umschalt+F8 go to the next and the previous
// change, a line at the top names the plugin, the time and the counts.
#include <windows.h>

#include <memory>
#include <string>

#include "changes/line_diff.h"
#include "common/win32/window.h"
#include "editor/win32/code_pane.h"

namespace dllscope {

class ChangesWindow : public Window {
  public:
    explicit ChangesWindow(App& app) : Window(app) {}
    ~ChangesWindow() override;
    // Creates the window (or takes the open one) and shows `run` in it.
    void Show(const ChangingRun& run);
    // The line at the top, and the pane.
    HWND Header() const { return header_; }
    CodePane& Pane() { return *pane_; }
    // Goes to the next (or previous) change from the caret's line, round
    // the end; false when there is none.
    bool GoToChange(bool forward);
    bool PreTranslate(MSG& msg) override;

  private:
    LineDiff diff_;
    std::string shown_;
    HWND header_ = nullptr;
    std::unique_ptr<CodePane> pane_;
    HFONT font_ = nullptr;
};

// "Plugin „entities.dll“, Lauf um 14:03:27: 3 Zeilen entfernt, 5 eingefügt,
// 2 geändert"
std::wstring ChangesHeader(const ChangingRun& run, const LineCounts& counts);

}  // namespace dllscope
