#include "plugin/query_commands.h"

#include "plugin/bridge_cycle.h"

namespace dllscope {
namespace {

// The skeleton the four share: no selection, no load; otherwise one bridge
// cycle around `calls`, which get the plugin path.
template <class Calls>
void QueryCycle(const Selection& selection, Calls&& calls) {
    const Form1Services& s = selection.services;
    if (selection.fileName.empty()) {
        s.view.ShowMessage(kNoDllSelected, MessageIcon::None);
        return;
    }
    std::wstring pluginPath = selection.PluginPath();
    RunBridgeCycle(s.libraries, selection.BridgePath(), pluginPath, [&] { calls(pluginPath); });
}

}  // namespace

void AskPluginName(const Selection& selection) {
    QueryCycle(selection, [&](std::wstring& pluginPath) {
        const Form1Services& s = selection.services;
        // Only this exact spelling asks the bridge for its own name.
        const bool bridgeItself = selection.fileName == kBridgeFileName;
        s.view.ShowMessage(bridgeItself ? s.bridge.WrapperName() : s.bridge.PluginName(pluginPath),
                           MessageIcon::None);
    });
}

void AskPluginDescription(const Selection& selection) {
    QueryCycle(selection, [&](std::wstring& pluginPath) {
        const Form1Services& s = selection.services;
        s.view.ShowMessage(s.bridge.PluginDescription(pluginPath), MessageIcon::None);
    });
}

void AskPluginBackvalue(const Selection& selection) {
    QueryCycle(selection, [&](std::wstring& pluginPath) {
        const Form1Services& s = selection.services;
        s.view.ShowMessage(L"Rückgabe: " + std::to_wstring(s.bridge.PluginBackvalue(pluginPath)),
                           MessageIcon::None);
    });
}

void LoadAndFreeOnly(const Selection& selection) {
    QueryCycle(selection, [](std::wstring&) {});
}

}  // namespace dllscope
