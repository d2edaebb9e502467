// Sample plugin (return type 3, a file name to the plugin): tidies the file
// it is given (the exchange file): no blanks at line ends, CR LF line
// breaks. A file that does not exist yet is created with a short note.
#include <string>

#include "tagsmith_plugin.h"

namespace {

std::string Tidy(const std::string& text) {
    std::string out, line;
    const auto flush = [&](bool lineBreak) {
        const std::size_t end = line.find_last_not_of(" \t");
        out += end == std::string::npos ? std::string() : line.substr(0, end + 1);
        if (lineBreak) out += "\r\n";
        line.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            flush(true);
        } else {
            line += text[i];
        }
    }
    flush(false);
    return out;
}

bool ReadAll(const char* path, std::string& bytes) {
    const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return true;
}

void WriteAll(const char* path, const std::string& bytes) {
    const HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

// Gives back what the C++ runtime keeps when the plugin is freed.
TS_PLUGIN_DLLMAIN

TS_EXPORT short WINAPI TsBackvalue() { return TS_FILE_TO; }
TS_EXPORT const char* WINAPI TsName() { return "Austauschdatei aufraeumen"; }
TS_EXPORT const char* WINAPI TsDescription() {
    return "Entfernt Leerzeichen und Tabulatoren am Zeilenende der Austauschdatei und "
           "schreibt die Zeilenenden als CR LF. Fehlt die Datei, legt es sie an.";
}

TS_EXPORT BSTR WINAPI TsRun(const char* path) {
    if (!path || !*path) return nullptr;
    std::string bytes;
    if (ReadAll(path, bytes)) {
        WriteAll(path, Tidy(bytes));
    } else {
        WriteAll(path, "Austauschdatei von Dllscope: ein Plugin vom Typ 3 bekommt ihren Namen.\r\n");
    }
    return nullptr;
}
