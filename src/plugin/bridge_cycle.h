#pragma once
// The plugin cycle, the same for Form1's commands and the checker: load the
// bridge, load the plugin, make the calls, free the plugin, free the bridge;
// the questions selecting a plugin asks; the run in the mode of the return
// type. It reaches libraries and the bridge only through their interfaces,
// wherever they run.
#include <cstdint>
#include <string>

#include "plugin/bridge.h"

namespace dllscope {

// One bridge cycle. Neither load is checked: `calls` gets the plugin's
// handle (zero when its load failed). When a call throws, the error goes on
// and both libraries stay loaded.
template <class Calls>
void RunBridgeCycle(Libraries& libraries, const std::wstring& bridgePath,
                    const std::wstring& pluginPath, Calls&& calls) {
    const LibraryHandle bridge = libraries.Load(bridgePath);
    const LibraryHandle plugin = libraries.Load(pluginPath);
    calls(plugin);
    libraries.Free(plugin);
    libraries.Free(bridge);
}

// Where the answers of a selected plugin go, each as it comes: what was told
// before a call that fails stays told.
class PluginAnswers {
  public:
    virtual ~PluginAnswers() = default;
    virtual void ReturnType(std::int16_t code) = 0;
    virtual void Name(const std::wstring& name) = 0;
    virtual void Description(const std::wstring& description) = 0;
};

// What selecting a plugin asks it, in this order: return type, name,
// description (one path variable for all three).
void AskWhatThePluginReports(Bridge& bridge, std::wstring& pluginPath, PluginAnswers& answers);

// Where a run takes its input and where the plugin's answer goes.
class RunExchange {
  public:
    virtual ~RunExchange() = default;
    // The text for PluginRun (types 0, 1 and 2); it stays as it is until
    // the run ends.
    virtual const std::wstring& Text() = 0;
    // Type 1: the text the plugin gives back, in the place of Text().
    virtual void TextBack(std::wstring text) = 0;
    // Type 2: the name of the file that holds the plugin's result.
    virtual void ResultFileBack(const std::wstring& fileName) = 0;
    // Type 3: the exchange file, whose name goes to the plugin instead of a text.
    virtual std::wstring ExchangeFile() = 0;
};

// Runs PluginRun as the return-type code calls for (type 0: the text goes
// in, the answer is dropped). A code without meaning runs nothing: false.
bool RunInModeOf(std::int16_t code, Bridge& bridge, std::wstring& pluginPath,
                 RunExchange& exchange);

}  // namespace dllscope
