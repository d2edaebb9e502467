// Sample plugin (return type 1, text to and from the plugin): writes the
// special characters of HTML and every non-ASCII character as entities.
#include <string>

#include "text_helpers.h"
#include "tagsmith_plugin.h"

namespace {

const char* NamedEntity(unsigned cp) {
    switch (cp) {
        case '<': return "&lt;";
        case '>': return "&gt;";
        case '&': return "&amp;";
        case '"': return "&quot;";
        case 0xE4: return "&auml;";
        case 0xF6: return "&ouml;";
        case 0xFC: return "&uuml;";
        case 0xC4: return "&Auml;";
        case 0xD6: return "&Ouml;";
        case 0xDC: return "&Uuml;";
        case 0xDF: return "&szlig;";
        case 0xA0: return "&nbsp;";
        case 0x20AC: return "&euro;";
        default: return nullptr;
    }
}

}  // namespace

// Gives back what the C++ runtime keeps when the plugin is freed.
TS_PLUGIN_DLLMAIN

TS_EXPORT short WINAPI TsBackvalue() { return TS_TEXT_TO_FROM; }
TS_EXPORT const char* WINAPI TsName() { return "HTML-Entities"; }
TS_EXPORT const char* WINAPI TsDescription() {
    return "Schreibt < > & \" und alle Zeichen ausserhalb von ASCII als HTML-Entities "
           "(&auml;, &#8364; ...).";
}

TS_EXPORT BSTR WINAPI TsRun(const char* input) {
    const std::wstring text = AnsiToWide(input);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned cp = text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (const char* named = NamedEntity(cp)) {
            out += named;
        } else if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else {
            out += "&#" + std::to_string(cp) + ";";
        }
    }
    return TsResult(out.data(), static_cast<unsigned>(out.size()));
}
