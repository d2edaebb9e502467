#include "plugin/run_command.h"

#include "plugin/bridge_cycle.h"

namespace dllscope {

void RunSelectedPlugin(const Selection& selection) {
    const Form1Services& s = selection.services;
    CycleOnSelectedPlugin(selection, [&](std::wstring& pluginPath) {
        switch (s.bridge.PluginBackvalue(pluginPath)) {
            case kNothing:
                s.bridge.PluginRun(s.editor.WorkText(), pluginPath);
                break;
            case kTextToFromPlugin: {
                const std::wstring result = s.bridge.PluginRun(s.editor.WorkText(), pluginPath);
                s.editor.SetWorkText(result);
                break;
            }
            case kFileNameFromPlugin:
                s.resultFileName = s.bridge.PluginRun(s.editor.WorkText(), pluginPath);
                s.resultViewer.Show();
                break;
            case kFileNameToPlugin:
                s.bridge.PluginRun(s.view.Caption(Form1Label::Dateiname), pluginPath);
                break;
            default:  // no meaning, no run
                break;
        }
    });
}

}  // namespace dllscope
