#pragma once
// The local time of day as the program's lines give it: "14:02:11", or
// with its milliseconds "14:02:11.042" (the call log's).
#include <string>

namespace dllscope {

std::wstring LocalTimeOfDay(bool milliseconds = false);

}  // namespace dllscope
