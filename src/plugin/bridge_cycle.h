#pragma once
// One bridge cycle: load the bridge, load the plugin, make the calls, free
// the plugin, free the bridge. Neither load is checked. When a call throws,
// the error goes on and both libraries stay loaded.
#include <string>

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

}  // namespace dllscope
