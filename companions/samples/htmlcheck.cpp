// Sample plugin (return type 0, text to the plugin): checks that the tags
// of the text are closed in the right order and says what it found in a
// message box of its own.
#include <string>
#include <vector>

#include "text_helpers.h"
#include "tagsmith_plugin.h"

namespace {

// Elements that have no end tag, or whose end tag may be left out.
bool NeedsNoEndTag(const std::wstring& name) {
    static const wchar_t* const names[] = {
        L"area", L"base", L"br",  L"col",  L"embed",  L"hr", L"img", L"input", L"link",
        L"meta", L"param", L"source", L"track", L"wbr", L"p",  L"li",  L"td",    L"th",
        L"tr",   L"option", L"dt",  L"dd",   L"html", L"head", L"body", L"tbody", L"thead"};
    for (const wchar_t* n : names) {
        if (name == n) return true;
    }
    return false;
}

struct Open {
    std::wstring name;
    int line;
};

std::wstring Check(const std::wstring& text) {
    std::vector<Open> open;
    std::wstring problems;
    int line = 1, tags = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n') ++line;
        if (text[i] != L'<') continue;
        bool closing = false;
        const std::wstring name = TagNameAt(text, i, closing);
        const std::size_t end = text.find(L'>', i);
        if (name.empty() || NeedsNoEndTag(name)) continue;
        if (!closing && end != std::wstring::npos && end > 0 && text[end - 1] == L'/') continue;
        ++tags;
        if (!closing) {
            open.push_back({name, line});
        } else if (!open.empty() && open.back().name == name) {
            open.pop_back();
        } else {
            problems += L"Zeile " + std::to_wstring(line) + L": </" + name + L"> ";
            problems += open.empty() ? L"ohne öffnendes Tag\n"
                                     : L"schließt <" + open.back().name + L"> aus Zeile " +
                                           std::to_wstring(open.back().line) + L"\n";
        }
    }
    for (const Open& o : open) {
        problems += L"Zeile " + std::to_wstring(o.line) + L": <" + o.name + L"> wird nicht geschlossen\n";
    }
    if (problems.empty()) {
        return L"Die Verschachtelung stimmt (" + std::to_wstring(tags) + L" Tags geprüft).";
    }
    return L"Fehler in der Verschachtelung:\n\n" + problems;
}

}  // namespace

// Gives back what the C++ runtime keeps when the plugin is freed.
TS_PLUGIN_DLLMAIN

TS_EXPORT short WINAPI TsBackvalue() { return TS_NOTHING; }
TS_EXPORT const char* WINAPI TsName() { return "HTML-Verschachtelung pruefen"; }
TS_EXPORT const char* WINAPI TsDescription() {
    return "Prueft, ob die Tags des Textes in der richtigen Reihenfolge geschlossen werden, "
           "und meldet das Ergebnis in einem eigenen Fenster.";
}

TS_EXPORT BSTR WINAPI TsRun(const char* input) {
    MessageBoxW(GetActiveWindow(), Check(AnsiToWide(input)).c_str(), L"HTML-Prüfung", MB_OK);
    return nullptr;
}
