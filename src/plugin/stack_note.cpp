#include "plugin/stack_note.h"

#include <algorithm>

namespace dllscope {
namespace {

// A plugin export's name as the bridge writes it: letters, digits, '_'.
bool IsExportName(const std::wstring& name) {
    return !name.empty() && name.size() <= 64 &&
           std::all_of(name.begin(), name.end(), [](wchar_t c) {
               return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') ||
                      (c >= L'0' && c <= L'9') || c == L'_';
           });
}

// "-4", "12": at most four digits, no leading '+' or zero, never "0".
bool ReadBytes(const std::wstring& text, long& bytes) {
    const bool negative = !text.empty() && text[0] == L'-';
    const std::wstring digits = negative ? text.substr(1) : text;
    if (digits.empty() || digits.size() > 4 || digits[0] == L'0') return false;
    long value = 0;
    for (const wchar_t c : digits) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + (c - L'0');
    }
    bytes = negative ? -value : value;
    return true;
}

}  // namespace

std::wstring StackWarning(const std::wstring& pluginFile, const std::wstring& note) {
    const std::size_t space = note.find(L' ');
    if (space == std::wstring::npos) return std::wstring();
    const std::wstring exportName = note.substr(0, space);
    long bytes = 0;
    if (!IsExportName(exportName) || !ReadBytes(note.substr(space + 1), bytes))
        return std::wstring();
    const std::wstring plugin = L"Das Plugin \u201E" + pluginFile + L"\u201C ";
    if (bytes > 0) {
        return plugin + L"exportiert " + exportName +
               L" als __cdecl; Tagsmith ruft __stdcall auf (WINAPI vergessen?)";
    }
    return plugin + L"nimmt beim Aufruf von " + exportName + L" " + std::to_wstring(-bytes) +
           L" Bytes mehr vom Stapel, als Tagsmith übergibt (mehr Parameter als in "
           L"tagsmith_plugin.h?)";
}

void AddOnce(std::vector<std::wstring>& warnings, const std::wstring& warning) {
    if (warning.empty() || std::find(warnings.begin(), warnings.end(), warning) != warnings.end())
        return;
    warnings.push_back(warning);
}

}  // namespace dllscope
