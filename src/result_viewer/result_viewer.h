#pragma once
// The result viewer Form2 as the run command sees it, and its loading steps.
#include <string>

#include "editor/editor_pane.h"

namespace dllscope {

class ResultViewer {
  public:
    virtual ~ResultViewer() = default;
    // Shows Form2 without owner and without waiting for it; creates and loads
    // it first when it is not open. An open viewer is shown as it is.
    virtual void Show() = 0;
};

// Form2's loading steps: its pane shows the file named by the program-wide
// result file name (passed by reference, the variable itself), then the
// caption becomes that name as the variable holds it after the load.
class Form2 {
  public:
    class Caption {
      public:
        virtual ~Caption() = default;
        virtual void Set(const std::wstring& text) = 0;
    };

    Form2(EditorPane& codeMax1, Caption& caption, std::wstring& resultFileName)
        : codeMax1_(codeMax1), caption_(caption), resultFileName_(resultFileName) {}

    void Form_Load() {
        codeMax1_.LoadFile(resultFileName_);
        caption_.Set(resultFileName_);
    }

  private:
    EditorPane& codeMax1_;
    Caption& caption_;
    std::wstring& resultFileName_;
};

}  // namespace dllscope
