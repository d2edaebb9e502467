#include "plugin/win32/libraries.h"

#include "common/win32/ansi.h"
#include "plugin/win32/guard.h"

namespace dllscope {

LibraryHandle Win32Libraries::Load(const std::wstring& path) {
    AnsiArg ansiPath(PassablePath(path));
    char* const p = ansiPath.get();
    HMODULE module = nullptr;
    // Loading runs the library's entry point.
    CallForeign({L"Die Bibliothek", FileNameOf(path), L"LoadLibrary", ForeignCallKind::Load}, [&] {
        module = LoadLibraryA(p);
        if (!module) lastLoadError_ = GetLastError();
    });
    return reinterpret_cast<LibraryHandle>(module);
}

void Win32Libraries::Free(LibraryHandle handle) {
    const HMODULE module = reinterpret_cast<HMODULE>(handle);
    wchar_t path[MAX_PATH];
    const DWORD n = module ? GetModuleFileNameW(module, path, MAX_PATH) : 0;
    // Freeing the last reference runs the entry point again.
    CallForeign({L"Die Bibliothek", FileNameOf(std::wstring(path, n)), L"FreeLibrary",
                 ForeignCallKind::Free},
                [&] { FreeLibrary(module); });
}

void FlushRuntimeStreams() {
    static const char* const kRuntimes[] = {"msvcrt.dll",   "ucrtbase.dll", "ucrtbased.dll",
                                            "msvcr120.dll", "msvcr110.dll", "msvcr100.dll",
                                            "msvcr90.dll",  "msvcr80.dll",  "msvcr71.dll"};
    for (const char* name : kRuntimes) {
        const HMODULE runtime = GetModuleHandleA(name);
        if (!runtime) continue;
        using FlushAll = int(__cdecl*)();
        if (const auto flush = reinterpret_cast<FlushAll>(
                reinterpret_cast<void*>(GetProcAddress(runtime, "_flushall"))))
            flush();
    }
}

}  // namespace dllscope
