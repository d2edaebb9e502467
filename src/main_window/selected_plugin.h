#pragma once
// The skeleton of the commands on the selected plugin: with nothing selected
// only "Keine DLL ausgewählt!" and no load; otherwise one bridge cycle around
// `calls`, which get the plugin path (one variable for the load and every
// call, so that what the bridge writes into it is passed on).
#include <string>

#include "main_window/form1_services.h"
#include "plugin/bridge_cycle.h"

namespace dllscope {

template <class Calls>
void CycleOnSelectedPlugin(const Selection& selection, Calls&& calls) {
    const Form1Services& s = selection.services;
    if (selection.fileName.empty()) {
        s.view.ShowMessage(kNoDllSelected, MessageIcon::None);
        return;
    }
    std::wstring pluginPath = selection.PluginPath();
    RunBridgeCycle(s.libraries, selection.BridgePath(), pluginPath,
                   [&](LibraryHandle) { calls(pluginPath); });
}

}  // namespace dllscope
