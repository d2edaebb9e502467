#pragma once
// A fault of foreign code as every report carries it: landed by the guard in
// this process or in the plugin's host, answered by the host, reported by
// the checker.
#include <cstdint>
#include <string>

namespace dllscope {

struct FaultRecord {
    std::wstring call;  // "PluginRun", "PluginName", ...
    std::wstring kind;  // "Zugriffsverletzung", ...
    std::uint32_t code = 0;
    std::wstring where;    // "crash.dll+0x1A2B", or empty
    std::wstring message;  // the whole report, as Dllscope shows it
    std::wstring place;    // "crash.dll!TsRun+0x1C" (nearest export below), else as `where`
};

}  // namespace dllscope
