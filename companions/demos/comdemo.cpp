// comdemo.dll: the demo export plugrun, called directly by "Command11":
// counts the text's characters, words and tags.
#include <string>

#include "text_helpers.h"
#include "tagsmith_plugin.h"

// Gives back what the C++ runtime keeps when the plugin is freed.
TS_PLUGIN_DLLMAIN

TS_EXPORT BSTR WINAPI plugrun(char* text) {
    const std::wstring w = AnsiToWide(text);
    std::size_t words = 0, tags = 0;
    bool inWord = false, inTag = false;
    for (const wchar_t c : w) {
        if (c == L'<') inTag = true, ++tags;
        const bool letter = !inTag && !iswspace(c);
        if (letter && !inWord) ++words;
        inWord = letter;
        if (c == L'>') inTag = false;
    }
    const std::string result = WideTo(CP_ACP, L"Zeichen: " + std::to_wstring(w.size()) +
                                                  L", Wörter: " + std::to_wstring(words) +
                                                  L", Tags: " + std::to_wstring(tags));
    return TsResult(result.data(), static_cast<unsigned>(result.size()));
}
