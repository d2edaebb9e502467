#pragma once
// What Form1's handlers reach the outside world through.
#include <string>

#include "editor/editor_pane.h"
#include "main_window/form1_view.h"
#include "plugin/bridge.h"
#include "result_viewer/result_viewer.h"

namespace dllscope {

inline constexpr wchar_t kNoDllSelected[] = L"Keine DLL ausgewählt!";

class DemoExports;
class AutomationObjects;

struct Form1Services {
    std::wstring programFolder;
    Libraries& libraries;
    Bridge& bridge;
    EditorPane& editor;  // CodeMax1
    Form1View& view;
    ResultViewer& resultViewer;    // Form2
    std::wstring& resultFileName;  // program-wide; only the run command writes it
    DemoExports& demoExports;
    AutomationObjects& automation;
};

// The plugin selected in File1, as the commands see it.
struct Selection {
    const Form1Services& services;
    const std::wstring& fileName;  // empty: nothing selected

    std::wstring PluginPath() const;
    std::wstring BridgePath() const;
};

}  // namespace dllscope
