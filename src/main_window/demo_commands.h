#pragma once
// The demo panel: commands that reach fixed demo libraries and classes by
// other roads than the selected plugin. None of them looks at the selection.
#include <cstdint>
#include <string>

#include "main_window/form1_services.h"

namespace dllscope {

// plugrun of comdemo.dll and pbplugin of lexdemo.dll, bound in the fixed
// library folder. Each may throw RuntimeError.
class DemoExports {
  public:
    virtual ~DemoExports() = default;
    virtual std::wstring plugrun(const std::wstring& text) = 0;
    // Calls pbplugin for its value and indexes that value by `index`; the
    // element as a 32-bit integer. Throws when the value has no such element.
    virtual std::int32_t pbpluginElement(const std::wstring& index) = 0;
};

// The automation classes of the panel. Each may throw RuntimeError.
class AutomationObjects {
  public:
    virtual ~AutomationObjects() = default;
    // Creates the demo automation class, calls its first method with `text`
    // and returns the result; the object is released on every path.
    virtual std::wstring DemoClassFirstMethod(const std::wstring& text) = 0;
    // Creates and releases one object of the editor component's class; no
    // effect where that class is not registered.
    virtual void CreateAndReleaseEditorObject() = 0;
};

inline constexpr wchar_t kTooManyCharacters[] = L"Die Anzahl der Zeichen ist zu groß!";
inline constexpr std::size_t kFormDemoLimit = 1200;  // UTF-16 code units

void ShowDemoTextPath(const Form1Services& s);    // Command1
void WrapTextDemo(const Form1Services& s);        // Command4
void WrapFormDemo(const Form1Services& s);        // Command5
void CreateEditorObject(const Form1Services& s);  // Command8
void RunAutomationDemo(const Form1Services& s);   // Command11
void RunPlugrun(const Form1Services& s);          // Command12
void RunPbplugin(const Form1Services& s);         // Command13

}  // namespace dllscope
