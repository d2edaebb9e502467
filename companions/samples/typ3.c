/* Ein Plugin vom Rückgabetyp 3 ("Dateiname zum Plugin"), so klein wie
 * möglich: es bekommt nicht den Text, sondern den Namen der Austauschdatei
 * (dateiname.txt), in die der Editor den Text geschrieben hat; es ändert die
 * Datei, und der Editor liest sie danach wieder ein.
 *
 * Bauen, 32 Bit (für Tagsmith):
 *   i686-w64-mingw32-gcc -shared -O2 -static -I../include -o typ3.dll typ3.c
 *       -Wl,--kill-at -loleaut32
 */
#include <string.h>

#include "tagsmith_plugin.h"

TS_EXPORT short WINAPI TsBackvalue(void) { return TS_FILE_TO; }
TS_EXPORT const char* WINAPI TsName(void) { return "Vermerk anhaengen"; }
TS_EXPORT const char* WINAPI TsDescription(void) {
    return "Haengt der Austauschdatei einen HTML-Kommentar an.";
}

/* input: der volle Name der Austauschdatei (ANSI). Die Datei enthält den
 * Text in der ANSI-Codepage; das Plugin liest und schreibt sie selbst.
 * Ergebnis: keins (NULL). */
TS_EXPORT BSTR WINAPI TsRun(const char* input) {
    static const char note[] = "\r\n<!-- geprueft -->\r\n";
    DWORD written = 0;
    HANDLE file;
    if (!input || !*input) return NULL;
    file = CreateFileA(input, FILE_APPEND_DATA, 0, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return NULL;
    WriteFile(file, note, (DWORD)strlen(note), &written, NULL);
    CloseHandle(file);
    return NULL;
}
