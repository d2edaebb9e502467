/* Ein Plugin vom Rückgabetyp 2 ("Dateiname vom Plugin"), so klein wie
 * möglich: es bekommt den Text, schreibt sein Ergebnis in eine Datei und gibt
 * deren Namen zurück; der Editor zeigt die Datei an.
 *
 * Bauen, 32 Bit (für Tagsmith):
 *   i686-w64-mingw32-gcc -shared -O2 -static -I../include -o typ2.dll typ2.c
 *       -Wl,--kill-at -loleaut32
 */
#include <stdio.h>
#include <string.h>

#include "tagsmith_plugin.h"

TS_EXPORT short WINAPI TsBackvalue(void) { return TS_FILE_FROM; }
TS_EXPORT const char* WINAPI TsName(void) { return "Zeichen zaehlen"; }
TS_EXPORT const char* WINAPI TsDescription(void) {
    return "Schreibt, wie viele Zeichen, Zeilen und Tags der Text hat, in eine Datei.";
}

/* input: der Text des Editors (oder die Markierung), ANSI, mit NUL am Ende.
 * Ergebnis: der volle Name der geschriebenen Datei (ANSI) in einem BSTR aus
 * SysAllocStringByteLen; NULL, wenn es keine gibt. */
TS_EXPORT BSTR WINAPI TsRun(const char* input) {
    unsigned long characters = 0, lines = 1, tags = 0;
    const char* p;
    char path[MAX_PATH + 32], text[160];
    DWORD n, written = 0;
    HANDLE file;
    for (p = input; p && *p; ++p) {
        ++characters;
        if (*p == '\n') ++lines;
        if (*p == '<') ++tags;
    }
    n = GetTempPathA(MAX_PATH, path);
    if (n == 0 || n >= MAX_PATH) return NULL;
    strcpy(path + n, "typ2-zaehlung.txt");
    sprintf(text, "Zeichen: %lu\r\nZeilen: %lu\r\nTags: %lu\r\n", characters, lines, tags);
    file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return NULL;
    WriteFile(file, text, (DWORD)strlen(text), &written, NULL);
    CloseHandle(file);
    return TsResult(path, (unsigned)strlen(path));
}
