#include "app/win32/plugin_route.h"

#include "common/paths.h"

namespace dllscope {

// Each plugin gets a host of its own: the first load of another plugin ends
// the host that served the one before, so that what that plugin left there
// (a lock held, a damaged heap, a thread) is never the next one's. The
// bridge this cycle loaded already is loaded again in the new host.
LibraryHandle PluginRoute::HostLoad(const std::wstring& path) {
    if (LowerName(FileNameOf(path)) == LowerName(kBridgeFileName)) {
        bridgePath_ = path;
        bridgeBefore_ = bridgeNow_ = host_.libraries.Load(path);
        return bridgeBefore_;
    }
    const std::wstring plugin = LowerName(path);
    if (!served_.empty() && plugin != served_) {
        host_.client.End();
        if (bridgeBefore_) bridgeNow_ = host_.libraries.Load(bridgePath_);
    }
    served_ = plugin;
    return host_.libraries.Load(path);
}

}  // namespace dllscope
