// Sample plugin (return type 2, a file name from the plugin): writes the
// outline of the text's headings <h1> to <h6> to a file and returns its name.
#include <string>

#include "text_helpers.h"
#include "tagsmith_plugin.h"

namespace {

// The heading's text: tags dropped, white space folded.
std::wstring PlainText(const std::wstring& html) {
    std::wstring out;
    bool inTag = false, space = false;
    for (const wchar_t c : html) {
        if (c == L'<') inTag = true;
        if (!inTag) {
            if (iswspace(c)) {
                space = !out.empty();
            } else {
                if (space) out += L' ';
                out += c;
                space = false;
            }
        }
        if (c == L'>') inTag = false;
    }
    return out;
}

std::wstring Outline(const std::wstring& text) {
    std::wstring outline;
    for (std::size_t i = text.find(L'<'); i != std::wstring::npos; i = text.find(L'<', i + 1)) {
        bool closing = false;
        const std::wstring name = TagNameAt(text, i, closing);
        if (closing || name.size() != 2 || name[0] != L'h' || name[1] < L'1' || name[1] > L'6') continue;
        const std::size_t start = text.find(L'>', i);
        const std::size_t end = text.find(L"</" + name, start);
        if (start == std::wstring::npos || end == std::wstring::npos) break;
        const int level = name[1] - L'0';
        outline += std::wstring(static_cast<std::size_t>(2 * (level - 1)), L' ') +
                   PlainText(text.substr(start + 1, end - start - 1)) + L"\r\n";
        i = end;
    }
    return outline.empty() ? L"(keine Überschriften gefunden)\r\n" : outline;
}

}  // namespace

// Gives back what the C++ runtime keeps when the plugin is freed.
TS_PLUGIN_DLLMAIN

TS_EXPORT short WINAPI TsBackvalue() { return TS_FILE_FROM; }
TS_EXPORT const char* WINAPI TsName() { return "Gliederung der Ueberschriften"; }
TS_EXPORT const char* WINAPI TsDescription() {
    return "Schreibt die Gliederung der Ueberschriften h1 bis h6 in eine Datei im "
           "Temp-Ordner und gibt ihren Namen zurueck.";
}

TS_EXPORT BSTR WINAPI TsRun(const char* input) {
    wchar_t folder[MAX_PATH];
    const DWORD n = GetTempPathW(MAX_PATH, folder);
    const std::wstring name = std::wstring(folder, n) + L"dllscope-gliederung.txt";
    const std::string bytes = "\xEF\xBB\xBF" + WideTo(CP_UTF8, Outline(AnsiToWide(input)));
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;  // no file, no name
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    const std::string ansiName = WideTo(CP_ACP, name);
    return TsResult(ansiName.data(), static_cast<unsigned>(ansiName.size()));
}
