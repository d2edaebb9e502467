#include "plugin/win32/libraries.h"

#include "common/win32/ansi.h"

namespace dllscope {

LibraryHandle Win32Libraries::Load(const std::wstring& path) {
    AnsiArg ansiPath(path);
    return reinterpret_cast<LibraryHandle>(LoadLibraryA(ansiPath.get()));
}

void Win32Libraries::Free(LibraryHandle handle) { FreeLibrary(reinterpret_cast<HMODULE>(handle)); }

}  // namespace dllscope
