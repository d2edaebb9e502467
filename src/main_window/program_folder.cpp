#include "main_window/program_folder.h"

#include <algorithm>

namespace dllscope {
namespace {

wchar_t FoldCase(wchar_t c) {
    if (c >= L'A' && c <= L'Z') return static_cast<wchar_t>(c - L'A' + L'a');
    // Latin-1 capitals (except the multiplication sign) and their small forms.
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<wchar_t>(c + 0x20);
    return c;
}

bool LessIgnoringCase(const std::wstring& a, const std::wstring& b) {
    const auto folded = [](wchar_t x, wchar_t y) { return FoldCase(x) < FoldCase(y); };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), folded)) return true;
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), folded)) return false;
    return a < b;  // same but for case: a fixed order all the same
}

bool EndsWithDll(const std::wstring& name) {
    static const std::wstring suffix = L".dll";
    if (name.size() < suffix.size()) return false;
    return std::equal(suffix.begin(), suffix.end(), name.end() - suffix.size(),
                      [](wchar_t s, wchar_t n) { return s == FoldCase(n); });
}

}  // namespace

std::vector<std::wstring> PluginLibraryNames(const std::vector<FolderEntry>& entries) {
    std::vector<std::wstring> names;
    for (const FolderEntry& e : entries) {
        if (e.directory || e.hidden || e.system || !EndsWithDll(e.name)) continue;
        names.push_back(e.name);
    }
    std::sort(names.begin(), names.end(), LessIgnoringCase);
    return names;
}

}  // namespace dllscope
