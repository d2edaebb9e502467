#include "plugin/run_command.h"

#include "plugin/bridge_cycle.h"

namespace dllscope {

void RunSelectedPlugin(const Selection& selection) {
    const Form1Services& s = selection.services;
    CycleOnSelectedPlugin(selection, [&](std::wstring& pluginPath) {
        switch (s.bridge.PluginBackvalue(pluginPath)) {
            case 0:  // Nichts
                s.bridge.PluginRun(s.editor.WorkText(), pluginPath);
                break;
            case 1: {  // Text zum/vom Plugin
                const std::wstring result = s.bridge.PluginRun(s.editor.WorkText(), pluginPath);
                s.editor.SetWorkText(result);
                break;
            }
            case 2:  // Dateiname vom Plugin
                s.resultFileName = s.bridge.PluginRun(s.editor.WorkText(), pluginPath);
                s.resultViewer.Show();
                break;
            case 3:  // Dateiname zum Plugin
                s.bridge.PluginRun(s.view.Caption(Form1Label::Dateiname), pluginPath);
                break;
            default:  // no meaning, no run
                break;
        }
    });
}

}  // namespace dllscope
