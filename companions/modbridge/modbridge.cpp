// modbridge.dll, the reference bridge: Dllscope (and Tagsmith) call these
// exports with a plugin's full path; the bridge loads that plugin, asks it
// through the interface of tagsmith_plugin.h and hands the answer back.
// It answers about itself when given its own path, and explains why a
// library is no plugin instead of failing.
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "tagsmith_plugin.h"
#include "common/paths.h"
#include "diagnosis/library_diagnosis.h"
#include "diagnosis/win32/library_files.h"
#include "text_helpers.h"

#if defined(__i386__)
// balanced_call_i686.S: calls a plugin export as __stdcall, restores the
// stack and says how many bytes of it the export did not give back.
extern "C" std::uintptr_t ts_balanced_call(const void* fn, const void* const* args, int count,
                                           int* left);
#endif

namespace {

HMODULE self = nullptr;

// What the last unbalanced plugin call did to the caller's stack, for
// WrapperStackNote: "TsRun 4" (the export and the bytes it left there).
std::string stackNote;

// Calls a plugin export as Tagsmith does. On 32 bits a __cdecl export (one
// built without WINAPI) leaves its argument on the stack, which unbalances
// every caller that expects __stdcall; here the stack is restored and the
// export noted instead. On 64 bits there is one convention.
template <class R, class... A>
R CallExport(R(WINAPI* fn)(A...), const char* name, A... args) {
#if defined(__i386__)
    const void* const list[] = {static_cast<const void*>(args)..., nullptr};
    int left = 0;
    const std::uintptr_t result = ts_balanced_call(
        reinterpret_cast<const void*>(fn), list, static_cast<int>(sizeof...(A)), &left);
    if (left != 0) stackNote = std::string(name) + " " + std::to_string(left);
    if constexpr (std::is_pointer_v<R>) {
        return reinterpret_cast<R>(result);
    } else {
        return static_cast<R>(result);
    }
#else
    (void)name;
    return fn(args...);
#endif
}
constexpr short kNoPlugin = -1;

std::string Ansi(const std::wstring& text) { return WideTo(CP_ACP, text); }

BSTR Result(const std::string& text) {
    return SysAllocStringByteLen(text.data(), static_cast<UINT>(text.size()));
}

std::wstring Bitness() { return sizeof(void*) == 8 ? L"64 Bit" : L"32 Bit"; }

// The system's words for an error code: inserts such as %1 become the
// library's name, so that no raw placeholder reaches the user.
std::wstring SystemText(DWORD code, const std::wstring& name) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n ? std::wstring(buffer, n) : L"Systemfehler";
    if (buffer) LocalFree(buffer);
    for (std::size_t at; (at = text.find(L"%1")) != std::wstring::npos;) text.replace(at, 2, name);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.' ||
                             text.back() == L' ')) {
        text.pop_back();
    }
    return text;
}

constexpr int kOwnBits = sizeof(void*) == 8 ? 64 : 32;

// Why the library at `path` could not be loaded, from the file itself.
std::wstring WhyNotLoaded(const char* path, DWORD error) {
    const std::wstring widePath = AnsiToWide(path);
    dllscope::DiskLibraryFiles files;
    const dllscope::LoadFailure failure{error, SystemText(error, dllscope::FileNameOf(widePath)),
                                        kOwnBits, dllscope::LoaderSearchFolders()};
    return dllscope::DiagnoseLibrary(widePath, failure, files);
}

// What is wrong with a library that loaded but lacks the plugin exports,
// beyond that; empty when nothing.
std::wstring WhatElseIsWrong(const char* path, const std::string& missingExport) {
    dllscope::DiskLibraryFiles files;
    return dllscope::DiagnoseLoadedLibrary(
        AnsiToWide(path), {0, L"", kOwnBits, dllscope::LoaderSearchFolders()}, files,
        missingExport);
}

bool IsSelf(const char* path) {
    if (GetModuleHandleA(path) == self) return true;
    char own[MAX_PATH];
    const DWORD n = GetModuleFileNameA(self, own, MAX_PATH);
    return n > 0 && n < MAX_PATH && lstrcmpiA(own, path) == 0;
}

// A plugin loaded for one call, or the reason why it is none.
class Plugin {
  public:
    explicit Plugin(const char* path) {
        const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        module_ = LoadLibraryA(path);
        const DWORD error = GetLastError();
        SetErrorMode(oldMode);
        if (!module_) {
            problem_ = WhyNotLoaded(path, error);
            return;
        }
        backvalue_ = Export<TsBackvalueFn>("TsBackvalue");
        name_ = Export<TsNameFn>("TsName");
        description_ = Export<TsDescriptionFn>("TsDescription");
        run_ = Export<TsRunFn>("TsRun");
        if (!problem_.empty()) {
            // Loaded, but no plugin: a program or a .NET assembly says so,
            // and so do decorated export names and a function a dependency lacks.
            if (const std::wstring what = WhatElseIsWrong(path, missing_); !what.empty())
                problem_ = what;
        }
    }
    ~Plugin() {
        if (module_) FreeLibrary(module_);
    }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    bool Valid() const { return problem_.empty(); }
    const std::wstring& Problem() const { return problem_; }
    short Backvalue() const { return CallExport(backvalue_, "TsBackvalue"); }
    std::string Name() const { return Text(CallExport(name_, "TsName")); }
    std::string Description() const { return Text(CallExport(description_, "TsDescription")); }
    BSTR Run(const char* input) const {
        const BSTR result = CallExport(run_, "TsRun", input);
        return result ? result : SysAllocStringByteLen("", 0);
    }

  private:
    template <class Fn>
    Fn Export(const char* name) {
        const FARPROC address = GetProcAddress(module_, name);
        if (!address && problem_.empty()) {
            missing_ = name;
            std::string n(name);
            problem_ = L"Kein Tagsmith-Plugin: der Export \"" + std::wstring(n.begin(), n.end()) +
                       L"\" fehlt.";
        }
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(address));
    }
    static std::string Text(const char* s) { return s ? std::string(s) : std::string(); }

    HMODULE module_ = nullptr;
    std::wstring problem_;
    std::string missing_;  // the first export not found
    TsBackvalueFn backvalue_ = nullptr;
    TsNameFn name_ = nullptr;
    TsDescriptionFn description_ = nullptr;
    TsRunFn run_ = nullptr;
};

// A library that is no plugin gives the text back unchanged, so that a
// caller that writes the result in place of the text loses nothing.
BSTR RunPlugin(const char* text, const char* path) {
    if (IsSelf(path)) return Result(text);
    const Plugin plugin(path);
    return plugin.Valid() ? plugin.Run(text) : Result(text);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
        DisableThreadLibraryCalls(instance);
    }
    if (reason == DLL_PROCESS_DETACH && !reserved) TsReleaseRuntime();
    return TRUE;
}

TS_EXPORT short WINAPI PluginBackvalue(char* path) {
    if (IsSelf(path)) return TS_NOTHING;
    const Plugin plugin(path);
    return plugin.Valid() ? plugin.Backvalue() : kNoPlugin;
}

TS_EXPORT BSTR WINAPI PluginName(char* path) {
    if (IsSelf(path)) return Result(Ansi(L"modbridge (Brücke für Tagsmith-Plugins)"));
    const Plugin plugin(path);
    return Result(plugin.Valid() ? plugin.Name() : Ansi(L"(kein Plugin)"));
}

TS_EXPORT BSTR WINAPI PluginDescription(char* path) {
    if (IsSelf(path)) {
        return Result(
            Ansi(L"Die Brücke selbst, kein Plugin: sie lädt das gewählte Plugin, "
                 L"fragt es ab und reicht seine Antworten weiter (" +
                 Bitness() + L")."));
    }
    const Plugin plugin(path);
    return Result(plugin.Valid() ? plugin.Description() : Ansi(plugin.Problem()));
}

TS_EXPORT BSTR WINAPI PluginRun(char* text, char* path) { return RunPlugin(text, path); }

TS_EXPORT BSTR WINAPI WrapperName() { return Result(Ansi(L"modbridge 1.0 (" + Bitness() + L")")); }

// What the plugin calls since the last asking did to the caller's stack:
// "TsRun 4" when TsRun left 4 bytes there (it is __cdecl), "" when every
// export kept to __stdcall. Asking clears it.
TS_EXPORT BSTR WINAPI WrapperStackNote() {
    const BSTR note = Result(stackNote);
    stackNote.clear();
    return note;
}

TS_EXPORT BSTR WINAPI PluginWrappText(char* text, char* path) { return RunPlugin(text, path); }

TS_EXPORT BSTR WINAPI PluginWrappForm(char* text, char* path) { return RunPlugin(text, path); }
