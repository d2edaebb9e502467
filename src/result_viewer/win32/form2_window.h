#pragma once
// Form2, the result viewer, as a Win32 window: the editor pane alone.
#include <windows.h>

#include <memory>

#include "common/win32/window.h"
#include "editor/win32/code_pane.h"
#include "result_viewer/result_viewer.h"

namespace dllscope {

class Form2Window : public Window, public Form2::Caption {
  public:
    Form2Window(App& app, std::wstring& resultFileName);
    ~Form2Window() override;
    // Creates the window and runs its loading steps; it is not shown yet.
    void Create();

    void Set(const std::wstring& caption) override;
    CodePane& Editor() { return *editor_; }

  private:
    std::wstring& resultFileName_;
    std::unique_ptr<CodePane> editor_;
};

// Creates Form2 on first use and again after the user closed it.
class Win32ResultViewer : public ResultViewer {
  public:
    Win32ResultViewer(App& app, std::wstring& resultFileName)
        : app_(app), resultFileName_(resultFileName) {}
    void Show() override;
    // The open viewer, or nullptr.
    Form2Window* Open() const;

  private:
    App& app_;
    std::wstring& resultFileName_;
    std::unique_ptr<Form2Window> window_;
};

}  // namespace dllscope
