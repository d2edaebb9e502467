#pragma once
// Files read whole.
#include <windows.h>

#include <string>

namespace dllscope {

// Reads the whole file into `bytes`: ERROR_SUCCESS, or the system's error code.
DWORD ReadWholeFile(const std::wstring& name, std::string& bytes);

// A folder, or a file that is there and not held open for writing by the
// program writing it (a linker, a copy): it can be read as a whole now.
bool ReadableNow(const std::wstring& path);

// The folder of the running program (Dllscope's, the checker's), whatever its length.
std::wstring ProgramFolder();

}  // namespace dllscope
