#pragma once
#include <string>

namespace dllscope {

// The system's own words for an error code (GetLastError), with the number.
std::wstring SystemErrorText(unsigned long code);

// The same for an automation status, with its number in hexadecimal.
std::wstring HresultText(long status);

}  // namespace dllscope
