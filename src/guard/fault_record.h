#pragma once
// A fault of foreign code as every report carries it: landed by the guard in
// this process or in the plugin's host, answered by the host, reported by
// the checker.
#include <cstdint>
#include <string>
#include <vector>

#include "symbols/stack_frame.h"

namespace dllscope {

struct FaultRecord {
    std::wstring call;  // "PluginRun", "PluginName", ...
    std::wstring kind;  // "Zugriffsverletzung", ...
    std::uint32_t code = 0;
    std::wstring where;    // "crash.dll+0x1A2B", or empty
    std::wstring message;  // the whole report, as Dllscope shows it
    std::wstring place;    // the first frame in words: "lines.c:24 (HandleTag)", else as `where`
    // The frames of the call's module (with other modules' between them),
    // innermost first; empty for a fault nobody walked.
    std::vector<StackFrame> stack{};
};

}  // namespace dllscope
