/*
 * Tagsmith plugins as the reference bridge modbridge.dll calls them.
 *
 * A plugin is a DLL with these four exports, all __stdcall and exported
 * under their bare names (no leading underscore, no @n: build with a .def
 * file or, with MinGW, -Wl,--kill-at). Strings are NUL-terminated and in the
 * system's ANSI code page.
 *
 *   short TsBackvalue(void)        the return-type code: what the plugin exchanges
 *                                  0  text to the plugin, nothing back
 *                                  1  text to the plugin, text back in its place
 *                                  2  text to the plugin, a file name back
 *                                  3  a file name (the exchange file) to the plugin
 *   const char* TsName(void)       the plugin's name; a string the plugin keeps
 *   const char* TsDescription(void)  what it does; a string the plugin keeps
 *   BSTR TsRun(const char* input)  runs the plugin on `input` and returns its
 *                                  result as ANSI bytes in a string made with
 *                                  SysAllocStringByteLen, or NULL for none. The
 *                                  caller frees it.
 *
 * 32-bit Tagsmith loads 32-bit plugins only; build them with the i686
 * compiler (or as Win32 in Visual Studio).
 *
 * Linking: TsResult needs oleaut32 (SysAllocStringByteLen). MinGW:
 *     i686-w64-mingw32-g++ -shared -O2 -static -o meinplugin.dll meinplugin.cpp
 *         -Wl,--kill-at -loleaut32
 * Visual C++: this header asks for oleaut32.lib itself; give the linker
 * tagsmith_plugin.def (beside this header) for the bare export names, since
 * __declspec(dllexport) alone exports _TsRun@4 in 32-bit builds.
 *
 * Loading and freeing: Tagsmith loads and frees a plugin for every call. A
 * plugin linked statically with MinGW's g++ runtime (-static) keeps memory
 * after each FreeLibrary (libstdc++'s emergency pool for exceptions, about
 * 20 KiB on 32-bit, 70 KiB on 64-bit), and on 32-bit two handles (an event
 * and a thread handle: winpthreads' record of the thread that loaded it)
 * and a TLS index, of which a process has only 1088.
 * TsReleaseRuntime gives them back; TS_PLUGIN_DLLMAIN defines a DllMain that
 * calls it. A plugin with a DllMain of its own calls TsReleaseRuntime() there
 * for DLL_PROCESS_DETACH when `reserved` is NULL (FreeLibrary, not the end of
 * the process). What no function can give back is the memory of that record
 * itself on 32-bit (a few hundred bytes a load, kept in winpthreads' pool);
 * dllscope-check names it as such. g++ with the win32 thread model
 * (i686-w64-mingw32-g++-win32) links no winpthreads and keeps nothing.
 */
#ifndef TAGSMITH_PLUGIN_H
#define TAGSMITH_PLUGIN_H

#include <windows.h>
#include <oleauto.h>

#ifdef _MSC_VER
#pragma comment(lib, "oleaut32.lib")
#endif
#if defined(__cplusplus) && defined(__GNUC__)
#include <cstddef> /* tells which C++ library this is (__GLIBCXX__) */
#endif

#ifdef __cplusplus
#define TS_EXTERN_C extern "C"
#else
#define TS_EXTERN_C
#endif

#define TS_EXPORT TS_EXTERN_C __declspec(dllexport)

enum {
    TS_NOTHING = 0,        /* "Nichts" */
    TS_TEXT_TO_FROM = 1,   /* "Text zum/vom Plugin" */
    TS_FILE_FROM = 2,      /* "Dateiname vom Plugin" */
    TS_FILE_TO = 3         /* "Dateiname zum Plugin" */
};

/* The four exports. Declared here, so that a definition that differs (no
 * WINAPI, which makes it __cdecl on 32 bits; another return type) does not
 * compile. */
TS_EXPORT short WINAPI TsBackvalue(void);
TS_EXPORT const char* WINAPI TsName(void);
TS_EXPORT const char* WINAPI TsDescription(void);
TS_EXPORT BSTR WINAPI TsRun(const char* input);

typedef short(WINAPI* TsBackvalueFn)(void);
typedef const char*(WINAPI* TsNameFn)(void);
typedef const char*(WINAPI* TsDescriptionFn)(void);
typedef BSTR(WINAPI* TsRunFn)(const char* input);

/* C89 has no inline; its compilers know __inline. */
#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L)
#define TS_INLINE static inline
#else
#define TS_INLINE static __inline
#endif

/* Makes a result string for TsRun from `size` ANSI bytes. */
TS_INLINE BSTR TsResult(const char* bytes, unsigned size) {
    return SysAllocStringByteLen(bytes, size);
}

#if defined(__cplusplus) && defined(__GLIBCXX__)
namespace __gnu_cxx {
#if __cplusplus >= 201103L
void __freeres() noexcept; /* frees libstdc++'s emergency pool */
#else
void __freeres() throw();
#endif
}
#endif

/* Gives back what the statically linked MinGW runtime keeps when the plugin
 * is freed (see above); does nothing with other compilers. */
TS_INLINE void TsReleaseRuntime(void) {
#ifdef __MINGW32__
    /* winpthreads closes its record of a thread (and clears its TLS slot)
     * when told that the thread ends, but not when the library is freed, and
     * it never gives its TLS index back: after about a thousand loads the
     * process has none left. Tell it that this thread ends, through the
     * plugin's own TLS callbacks, and free the slot it cleared. */
    enum { kTlsSlots = 1088 }; /* 64 + 1024 expansion slots */
    void* before[kTlsSlots];
    DWORD slot;
    HMODULE self = NULL;
    const BYTE* base;
    const IMAGE_NT_HEADERS* nt;
    const IMAGE_DATA_DIRECTORY* tls;
    static const char inThisModule = 0; /* its address tells the module */
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            &inThisModule, &self)) {
        return;
    }
    base = (const BYTE*)self;
    nt = (const IMAGE_NT_HEADERS*)(base + ((const IMAGE_DOS_HEADER*)base)->e_lfanew);
    tls = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS];
    if (tls->VirtualAddress) {
        const IMAGE_TLS_DIRECTORY* directory =
            (const IMAGE_TLS_DIRECTORY*)(base + tls->VirtualAddress);
        PIMAGE_TLS_CALLBACK* callback = (PIMAGE_TLS_CALLBACK*)directory->AddressOfCallBacks;
        for (slot = 0; slot < kTlsSlots; ++slot) before[slot] = TlsGetValue(slot);
        for (; callback && *callback; ++callback) (*callback)((PVOID)base, DLL_THREAD_DETACH, NULL);
        for (slot = 0; slot < kTlsSlots; ++slot) {
            if (before[slot] && !TlsGetValue(slot)) TlsFree(slot);
        }
    }
#endif
#if defined(__cplusplus) && defined(__GLIBCXX__)
    __gnu_cxx::__freeres();
#endif
}

/* A DllMain that releases the runtime when the plugin is freed. */
#define TS_PLUGIN_DLLMAIN                                                              \
    TS_EXTERN_C BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) { \
        (void)instance;                                                                \
        if (reason == DLL_PROCESS_DETACH && !reserved) TsReleaseRuntime();             \
        return TRUE;                                                                   \
    }

#endif
