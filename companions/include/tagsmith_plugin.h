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
 */
#ifndef TAGSMITH_PLUGIN_H
#define TAGSMITH_PLUGIN_H

#include <windows.h>
#include <oleauto.h>

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

typedef short(WINAPI* TsBackvalueFn)(void);
typedef const char*(WINAPI* TsNameFn)(void);
typedef const char*(WINAPI* TsDescriptionFn)(void);
typedef BSTR(WINAPI* TsRunFn)(const char* input);

/* Makes a result string for TsRun from `size` ANSI bytes. */
static inline BSTR TsResult(const char* bytes, unsigned size) {
    return SysAllocStringByteLen(bytes, size);
}

#endif
