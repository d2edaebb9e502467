/* Ein Plugin, wie es ein Autor in seinem Repository hält: die CI-Rezepte
 * der LIESMICH bauen und prüfen es so, wie sie gedruckt sind. Es löst
 * hexadezimale Zeichenreferenzen (&#xFC;) bis U+00FF in Zeichen auf; die
 * übrigen bleiben stehen, und eine, die kein Zeichen nennt, wird zu "?".
 * Die Prüfung nimmt die Zeile "kein Zeichen" heraus: dann stürzt es bei
 * einer Referenz über U+10FFFF ab, die nur das Fuzzing findet.
 */
#include <stdlib.h>
#include <string.h>

#include "tagsmith_plugin.h"

TS_EXPORT short WINAPI TsBackvalue(void) { return TS_TEXT_TO_FROM; }
TS_EXPORT const char* WINAPI TsName(void) { return "Zeichenreferenzen"; }
TS_EXPORT const char* WINAPI TsDescription(void) {
    return "Ersetzt &#xHH; bis U+00FF durch das Zeichen.";
}

/* Was an die Stelle einer Referenz tritt, die bei at beginnt und bei ende
 * endet: das Zeichen selbst, die Referenz, wie sie steht, oder NULL, wenn
 * der Wert kein Zeichen ist. */
static const char* Ersatz(unsigned long wert, const char* at, char* zeichen) {
    if (wert > 0x10FFFF) return NULL;
    if (wert > 0xFF) return at;
    zeichen[0] = (char)wert;
    zeichen[1] = '\0';
    return zeichen;
}

TS_EXPORT BSTR WINAPI TsRun(const char* input) {
    const size_t size = input ? strlen(input) : 0;
    char* out = (char*)malloc(size + 1);
    char* o = out;
    const char* at = input;
    BSTR result;
    if (!out) return NULL;
    while (at && *at) {
        char zeichen[2], *ende;
        const char* ersatz;
        unsigned long wert;
        if (strncmp(at, "&#x", 3) != 0 || !strchr("0123456789abcdefABCDEF", at[3]) || !at[3]) {
            *o++ = *at++;
            continue;
        }
        wert = strtoul(at + 3, &ende, 16);
        if (*ende == ';') ++ende;
        ersatz = Ersatz(wert, at, zeichen);
        if (!ersatz) ersatz = "?"; /* kein Zeichen */
        if (ersatz == at) {
            memcpy(o, at, (size_t)(ende - at));
            o += ende - at;
        } else {
            *o++ = ersatz[0];
        }
        at = ende;
    }
    result = SysAllocStringByteLen(out, (UINT)(o - out));
    free(out);
    return result;
}
