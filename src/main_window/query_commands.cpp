#include "main_window/query_commands.h"

#include "main_window/selected_plugin.h"

namespace dllscope {

void AskPluginName(const Selection& selection) {
    CycleOnSelectedPlugin(selection, [&](std::wstring& pluginPath) {
        const Form1Services& s = selection.services;
        // Only this exact spelling asks the bridge for its own name.
        const bool bridgeItself = selection.fileName == kBridgeFileName;
        s.view.ShowMessage(bridgeItself ? s.bridge.WrapperName() : s.bridge.PluginName(pluginPath),
                           MessageIcon::None);
    });
}

void AskPluginDescription(const Selection& selection) {
    CycleOnSelectedPlugin(selection, [&](std::wstring& pluginPath) {
        const Form1Services& s = selection.services;
        s.view.ShowMessage(s.bridge.PluginDescription(pluginPath), MessageIcon::None);
    });
}

void AskPluginBackvalue(const Selection& selection) {
    CycleOnSelectedPlugin(selection, [&](std::wstring& pluginPath) {
        const Form1Services& s = selection.services;
        s.view.ShowMessage(L"Rückgabe: " + std::to_wstring(s.bridge.PluginBackvalue(pluginPath)),
                           MessageIcon::None);
    });
}

void LoadAndFreeOnly(const Selection& selection) {
    CycleOnSelectedPlugin(selection, [](std::wstring&) {});
}

}  // namespace dllscope
