#include "plugin/win32/bindings.h"

#include "common/paths.h"
#include "common/runtime_error.h"
#include "common/win32/system_error.h"
#include "common/win32/ansi.h"
#include "guard/win32/guard.h"

namespace dllscope {

FARPROC Bindings::Resolve(const std::wstring& library, const char* exportName) {
    return Bind(library, exportName, true);
}

FARPROC Bindings::Bind(const std::wstring& library, const char* exportName, bool required) {
    const auto key = std::make_pair(library, std::string(exportName));
    if (const auto found = bound_.find(key); found != bound_.end()) return found->second;

    const std::wstring quotedLibrary = L"\u201E" + library + L"\u201C";
    // The library stays loaded for the run, as long as the binding does.
    AnsiArg ansiLibrary(library);
    char* const name = ansiLibrary.get();
    HMODULE module = nullptr;
    CallForeign(ForeignCall::Load(L"Die Bibliothek", FileNameOf(library)),
                [&] { module = LoadLibraryA(name); });
    if (!module) {
        const DWORD error = GetLastError();
        throw RuntimeError(L"Die Bibliothek " + quotedLibrary +
                           L" wurde nicht gefunden oder kann nicht geladen werden: " +
                           SystemErrorText(error) + L".");
    }
    const FARPROC address = GetProcAddress(module, exportName);
    if (!address && !required) {
        bound_.emplace(key, nullptr);  // the library stays loaded for the others
        return nullptr;
    }
    if (!address) {
        CallForeign(ForeignCall::Free(L"Die Bibliothek", FileNameOf(library)),
                    [&] { FreeLibrary(module); });
        const std::string name(exportName);
        throw RuntimeError(L"In der Bibliothek " + quotedLibrary + L" fehlt der Export \u201E" +
                           std::wstring(name.begin(), name.end()) + L"\u201C.");
    }
    bound_.emplace(key, address);
    return address;
}

}  // namespace dllscope
