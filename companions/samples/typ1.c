/* Ein Plugin vom Rückgabetyp 1 ("Text zum/vom Plugin"), so klein wie
 * möglich: es bekommt den Text und gibt den Text zurück, der an seine Stelle
 * tritt (hier: in <strong> gesetzt).
 *
 * Bauen, 32 Bit (für Tagsmith):
 *   i686-w64-mingw32-gcc -shared -O2 -static -I../include -o typ1.dll typ1.c
 *       -Wl,--kill-at -loleaut32
 */
#include <string.h>

#include "tagsmith_plugin.h"

TS_EXPORT short WINAPI TsBackvalue(void) { return TS_TEXT_TO_FROM; }
TS_EXPORT const char* WINAPI TsName(void) { return "Fett setzen"; }
TS_EXPORT const char* WINAPI TsDescription(void) { return "Setzt den Text in <strong>."; }

/* input: der Text des Editors (oder die Markierung), ANSI, mit NUL am Ende.
 * Ergebnis: der neue Text als ANSI-Bytes in einem BSTR aus
 * SysAllocStringByteLen (der Aufrufer gibt ihn frei), nie ein char* aus
 * malloc oder ein statischer Text. */
TS_EXPORT BSTR WINAPI TsRun(const char* input) {
    static const char before[] = "<strong>", after[] = "</strong>";
    const size_t size = input ? strlen(input) : 0;
    char* bytes;
    /* Mit NULL macht SysAllocStringByteLen nur den Platz; die Bytes füllt man selbst. */
    BSTR result = SysAllocStringByteLen(NULL, (UINT)(sizeof before - 1 + size + sizeof after - 1));
    if (!result) return NULL;
    bytes = (char*)result;
    memcpy(bytes, before, sizeof before - 1);
    if (size) memcpy(bytes + sizeof before - 1, input, size);
    memcpy(bytes + sizeof before - 1 + size, after, sizeof after - 1);
    return result;
}
