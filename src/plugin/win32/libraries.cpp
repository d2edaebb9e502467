#include "plugin/win32/libraries.h"

#include <algorithm>
#include <cwchar>
#include <vector>

#include "common/paths.h"
#include "common/win32/ansi.h"
#include "guard/win32/guard.h"

namespace dllscope {

LibraryHandle Win32Libraries::Load(const std::wstring& path) {
    AnsiArg ansiPath(PassablePath(path));
    char* const p = ansiPath.get();
    HMODULE module = nullptr;
    // Loading runs the library's entry point.
    CallForeign(ForeignCall::Load(L"Die Bibliothek", FileNameOf(path)), [&] {
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
    CallForeign(ForeignCall::Free(L"Die Bibliothek", FileNameOf(std::wstring(path, n))),
                [&] { FreeLibrary(module); });
}

namespace {

// The C runtimes whose streams a plugin may have written to.
constexpr const wchar_t* kRuntimes[] = {L"msvcrt.dll",   L"ucrtbase.dll", L"ucrtbased.dll",
                                        L"msvcr120.dll", L"msvcr110.dll", L"msvcr100.dll",
                                        L"msvcr90.dll",  L"msvcr80.dll",  L"msvcr71.dll"};

bool IsRuntime(const wchar_t* name, std::size_t length) {
    for (const wchar_t* runtime : kRuntimes)
        if (wcslen(runtime) == length && _wcsnicmp(runtime, name, length) == 0) return true;
    return false;
}

// The runtimes loaded, as the loader reports its loads and unloads: asking
// the loader by name costs a search of the disk for each one not loaded
// (a quarter of a millisecond each under Wine, before every answer).
class LoadedRuntimes {
  public:
    LoadedRuntimes() {
        InitializeCriticalSection(&lock_);
        using Register = LONG(NTAPI*)(ULONG flags, decltype(&OnLoaderEvent) notify, void* context,
                                      void** cookie);
        const auto registerNotification = reinterpret_cast<Register>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "LdrRegisterDllNotification")));
        void* cookie = nullptr;
        tracked_ =
            registerNotification && registerNotification(0, OnLoaderEvent, this, &cookie) >= 0;
        for (const HMODULE runtime : ByName()) Note(runtime, true);
    }

    // The runtimes loaded now; without the loader's reports, asked by name.
    std::vector<HMODULE> Now() {
        if (!tracked_) return ByName();
        EnterCriticalSection(&lock_);
        std::vector<HMODULE> loaded = loaded_;
        LeaveCriticalSection(&lock_);
        return loaded;
    }

  private:
    static std::vector<HMODULE> ByName() {
        std::vector<HMODULE> found;
        for (const wchar_t* name : kRuntimes)
            if (const HMODULE runtime = GetModuleHandleW(name)) found.push_back(runtime);
        return found;
    }

    // What the loader reports of a library it loaded (1) or unloaded (2).
    struct Name {
        USHORT length, maximum;
        PWSTR buffer;
    };
    struct Event {
        ULONG flags;
        const Name* fullName;
        const Name* baseName;
        void* base;
        ULONG size;
    };
    static void CALLBACK OnLoaderEvent(ULONG reason, const Event* event, void* context) {
        if (event->baseName && IsRuntime(event->baseName->buffer, event->baseName->length / 2))
            static_cast<LoadedRuntimes*>(context)->Note(static_cast<HMODULE>(event->base),
                                                        reason == 1);
    }

    void Note(HMODULE module, bool loaded) {
        EnterCriticalSection(&lock_);
        const auto at = std::find(loaded_.begin(), loaded_.end(), module);
        if (loaded && at == loaded_.end()) loaded_.push_back(module);
        if (!loaded && at != loaded_.end()) loaded_.erase(at);
        LeaveCriticalSection(&lock_);
    }

    CRITICAL_SECTION lock_;
    std::vector<HMODULE> loaded_;
    bool tracked_ = false;
};

}  // namespace

void FlushRuntimeStreams() {
    static LoadedRuntimes runtimes;
    for (const HMODULE runtime : runtimes.Now()) {
        using FlushAll = int(__cdecl*)();
        if (const auto flush = reinterpret_cast<FlushAll>(
                reinterpret_cast<void*>(GetProcAddress(runtime, "_flushall"))))
            flush();
    }
}

}  // namespace dllscope
