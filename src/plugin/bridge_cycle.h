#pragma once
// One bridge cycle: load the bridge, load the plugin, make the calls, free
// the plugin, free the bridge. Neither load is checked. When a call throws,
// the error goes on and both libraries stay loaded.
#include <string>

#include "plugin/form1_services.h"
#include "plugin/bridge.h"

namespace dllscope {

template <class Calls>
void RunBridgeCycle(Libraries& libraries, const std::wstring& bridgePath,
                    const std::wstring& pluginPath, Calls&& calls) {
    const LibraryHandle bridge = libraries.Load(bridgePath);
    const LibraryHandle plugin = libraries.Load(pluginPath);
    calls();
    libraries.Free(plugin);
    libraries.Free(bridge);
}

// The skeleton of the commands on the selected plugin: with nothing selected
// only "Keine DLL ausgewählt!" and no load; otherwise one bridge cycle around
// `calls`, which get the plugin path (one variable for the load and every
// call, so that what the bridge writes into it is passed on).
template <class Calls>
void CycleOnSelectedPlugin(const Selection& selection, Calls&& calls) {
    const Form1Services& s = selection.services;
    if (selection.fileName.empty()) {
        s.view.ShowMessage(kNoDllSelected, MessageIcon::None);
        return;
    }
    std::wstring pluginPath = selection.PluginPath();
    RunBridgeCycle(s.libraries, selection.BridgePath(), pluginPath, [&] { calls(pluginPath); });
}

}  // namespace dllscope
