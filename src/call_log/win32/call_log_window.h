#pragma once
// "Aufrufprotokoll": the call log as a report-style list, the newest call
// last; it follows while open, and Ctrl+C copies the selected rows as
// tab-separated text.
#include <windows.h>

#include <string>

#include "call_log/call_log.h"
#include "common/win32/window.h"

namespace dllscope {

class CallLogWindow : public Window {
  public:
    CallLogWindow(App& app, CallLog& log) : Window(app), log_(log) {}
    ~CallLogWindow() override;
    // Creates the window with the rows so far, and shows it.
    void Create();
    HWND List() const { return list_; }
    // A row came: the list grows and shows it.
    void Follow();
    // The selected rows, as Ctrl+C copies them.
    std::wstring SelectedRows() const;
    bool PreTranslate(MSG& msg) override;

  private:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

    CallLog& log_;
    HWND list_ = nullptr;
};

}  // namespace dllscope
