#pragma once
// The check's report for machines: one JSON object a plugin.
#include <string>

#include "check/check_records.h"

namespace dllscope {

// A JSON string (UTF-8, escaped, quoted).
std::string JsonString(const std::wstring& text);
std::string PluginJson(const PluginReport& report);

}  // namespace dllscope
