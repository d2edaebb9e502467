#pragma once
// Starting a program and waiting until it has ended.
#include <cstdint>
#include <string>

namespace dllscope {

// Starts the program of the command line `cmdline`, shown (bShowApp True,
// -1) or hidden (False, 0), and returns when it has ended. `cmdline` then
// holds the command line as the ANSI code page carried it. The result is a
// 16-bit truth value: True (-1) when the process handle could be closed,
// False (0) otherwise, for instance when nothing was started.
std::int16_t ShellWait(std::wstring& cmdline, std::int16_t bShowApp);

}  // namespace dllscope
