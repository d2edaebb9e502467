// Demo text plugin for "DLL-Wrapper - Text" (the bridge's PluginWrappText):
// writes the names of all tags in lower case, as XHTML wants them.
#include <string>

#include "tagsmith_plugin.h"

// Gives back what the C++ runtime keeps when the plugin is freed.
TS_PLUGIN_DLLMAIN

TS_EXPORT short WINAPI TsBackvalue() { return TS_TEXT_TO_FROM; }
TS_EXPORT const char* WINAPI TsName() { return "Tag-Namen klein"; }
TS_EXPORT const char* WINAPI TsDescription() {
    return "Schreibt die Namen aller Tags in Kleinbuchstaben; Attribute und Text bleiben.";
}

TS_EXPORT BSTR WINAPI TsRun(const char* input) {
    std::string text = input ? input : "";
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '<') continue;
        std::size_t j = i + 1;
        if (j < text.size() && text[j] == '/') ++j;
        for (; j < text.size() && ((text[j] >= 'A' && text[j] <= 'Z') || (text[j] >= 'a' && text[j] <= 'z') ||
                                   (text[j] >= '0' && text[j] <= '9'));
             ++j) {
            if (text[j] >= 'A' && text[j] <= 'Z') text[j] = static_cast<char>(text[j] - 'A' + 'a');
        }
        i = j - 1;
    }
    return TsResult(text.data(), static_cast<unsigned>(text.size()));
}
