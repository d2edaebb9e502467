#pragma once
// What Form1's handlers need of the window itself.
#include <string>

namespace dllscope {

enum class Form1Label { Backvalue, Name, Description, Dateiname };
enum class MessageIcon { None, Exclamation };

class Form1View {
  public:
    virtual ~Form1View() = default;
    virtual void SetCaption(Form1Label label, const std::wstring& text) = 0;
    virtual std::wstring Caption(Form1Label label) = 0;
    // A modal message box titled "Dllscope" with an OK button.
    virtual void ShowMessage(const std::wstring& text, MessageIcon icon) = 0;
    // Points File1 at a folder: it lists the plugin libraries there.
    virtual void SetFileListFolder(const std::wstring& folder) = 0;
    // The file name of File1's selected entry, or the empty string.
    virtual std::wstring SelectedFileName() = 0;
    // Ends the program at once, closing every window.
    virtual void EndProgram() = 0;
};

}  // namespace dllscope
