/* Ein Plugin vom Rückgabetyp 0 ("Nichts"), so klein wie möglich: es bekommt
 * den Text und gibt nichts zurück; was es zu sagen hat, zeigt es selbst.
 *
 * Bauen, 32 Bit (für Tagsmith):
 *   i686-w64-mingw32-gcc -shared -O2 -static -I../include -o typ0.dll typ0.c
 *       -Wl,--kill-at -loleaut32 -luser32
 */
#include <stdio.h>

#include "tagsmith_plugin.h"

TS_EXPORT short WINAPI TsBackvalue(void) { return TS_NOTHING; }
TS_EXPORT const char* WINAPI TsName(void) { return "Zeilen zaehlen"; }
TS_EXPORT const char* WINAPI TsDescription(void) { return "Zeigt, wie viele Zeilen der Text hat."; }

/* input: der Text des Editors (oder die Markierung), ANSI, mit NUL am Ende.
 * Das Ergebnis wird nicht gebraucht: NULL. */
TS_EXPORT BSTR WINAPI TsRun(const char* input) {
    unsigned long lines = 1;
    const char* p;
    char text[64];
    for (p = input; p && *p; ++p) {
        if (*p == '\n') ++lines;
    }
    sprintf(text, "Der Text hat %lu Zeilen.", lines);
    MessageBoxA(NULL, text, "Zeilen zaehlen", MB_OK | MB_ICONINFORMATION);
    return NULL;
}
