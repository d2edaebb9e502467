#pragma once
// The local time of day as the program's lines give it: "14:02:11".
#include <string>

namespace dllscope {

std::wstring LocalTimeOfDay();

}  // namespace dllscope
