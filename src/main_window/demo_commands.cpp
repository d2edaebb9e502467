#include "main_window/demo_commands.h"

#include "common/paths.h"
#include "plugin/bridge_cycle.h"

namespace dllscope {
namespace {

// A bridge cycle on a demo plugin of the program folder.
template <class Calls>
void DemoBridgeCycle(const Form1Services& s, const wchar_t* demoPlugin, Calls&& calls) {
    std::wstring demoPluginPath = InFolder(s.programFolder, demoPlugin);
    RunBridgeCycle(s.libraries, InFolder(s.programFolder, kBridgeFileName), demoPluginPath,
                   [&](LibraryHandle) { calls(demoPluginPath); });
}

}  // namespace

void ShowDemoTextPath(const Form1Services& s) {
    const std::int16_t value = 0;  // nothing in the library is loaded or asked
    s.view.ShowMessage(InFolder(s.programFolder, L"demotext_1.dll"), MessageIcon::None);
    s.view.ShowMessage(std::to_wstring(value), MessageIcon::None);
}

void WrapTextDemo(const Form1Services& s) {
    DemoBridgeCycle(s, L"demotext.dll", [&](std::wstring& demoPluginPath) {
        const std::wstring text = s.editor.WorkText();
        s.editor.SetWorkText(s.bridge.PluginWrappText(text, demoPluginPath));
    });
}

void WrapFormDemo(const Form1Services& s) {
    DemoBridgeCycle(s, L"demopane.dll", [&](std::wstring& demoPluginPath) {
        const std::wstring text = s.editor.WorkText();
        if (text.size() > kFormDemoLimit) {
            s.view.ShowMessage(kTooManyCharacters, MessageIcon::None);
            return;
        }
        s.editor.SetWorkText(s.bridge.PluginWrappForm(text, demoPluginPath));
    });
}

void CreateEditorObject(const Form1Services& s) { s.automation.CreateAndReleaseEditorObject(); }

void RunAutomationDemo(const Form1Services& s) {
    const std::wstring text = s.editor.Text();
    s.editor.SetWorkText(s.automation.DemoClassFirstMethod(text));
}

void RunPlugrun(const Form1Services& s) {
    const LibraryHandle library = s.libraries.Load(InFolder(s.programFolder, L"comdemo.dll"));
    const std::wstring result = s.demoExports.plugrun(s.editor.Text());
    s.view.ShowMessage(result, MessageIcon::None);
    s.libraries.Free(library);
}

void RunPbplugin(const Form1Services& s) {
    // The bare name: the system's search order finds the library.
    const LibraryHandle library = s.libraries.Load(L"lexdemo.dll");
    s.demoExports.pbpluginElement(s.editor.Text());  // the element is dropped
    s.libraries.Free(library);
}

}  // namespace dllscope
