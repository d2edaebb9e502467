// A plugin for the benchmark: return type 1, gives its text back unchanged.
#include <cstring>

#include "tagsmith_plugin.h"

TS_EXPORT short WINAPI TsBackvalue() { return TS_TEXT_TO_FROM; }
TS_EXPORT const char* WINAPI TsName() { return "Identitaet"; }
TS_EXPORT const char* WINAPI TsDescription() { return "Gibt den Text unveraendert zurueck."; }
TS_EXPORT BSTR WINAPI TsRun(const char* input) {
    return TsResult(input, static_cast<unsigned>(std::strlen(input)));
}
