#include "plugin/bridge_cycle.h"

namespace dllscope {

void AskWhatThePluginReports(Bridge& bridge, std::wstring& pluginPath, PluginAnswers& answers) {
    answers.ReturnType(bridge.PluginBackvalue(pluginPath));
    answers.Name(bridge.PluginName(pluginPath));
    answers.Description(bridge.PluginDescription(pluginPath));
}

bool RunInModeOf(std::int16_t code, Bridge& bridge, std::wstring& pluginPath,
                 RunExchange& exchange) {
    switch (code) {
        case kNothing:
            bridge.PluginRun(exchange.Text(), pluginPath);
            return true;
        case kTextToFromPlugin: {
            exchange.TextBack(bridge.PluginRun(exchange.Text(), pluginPath));
            return true;
        }
        case kFileNameFromPlugin: {
            const std::wstring fileName = bridge.PluginRun(exchange.Text(), pluginPath);
            exchange.ResultFileBack(fileName);
            return true;
        }
        case kFileNameToPlugin:
            bridge.PluginRun(exchange.ExchangeFile(), pluginPath);
            return true;
        default:
            return false;
    }
}

}  // namespace dllscope
