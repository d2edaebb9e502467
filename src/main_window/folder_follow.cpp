#include "main_window/folder_follow.h"

#include "common/paths.h"

namespace dllscope {

ListUpdate FollowFolder(const std::vector<std::wstring>& shown, const std::wstring& selected,
                        const std::vector<std::wstring>& now) {
    ListUpdate u;
    u.names = now;
    u.changed = now != shown;
    if (selected.empty()) return u;
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (LowerName(now[i]) == LowerName(selected)) u.select = static_cast<int>(i);
    }
    u.selectionGone = u.select < 0;
    return u;
}

std::wstring ReadAgainWords(const std::wstring& fileName, const std::wstring& time) {
    return L"\u201E" + fileName + L"\u201C neu eingelesen (" + time + L")";
}

std::wstring GoneWords(const std::wstring& fileName, const std::wstring& time) {
    return L"\u201E" + fileName + L"\u201C ist nicht mehr im Ordner (" + time + L")";
}

std::wstring UnreadableWords(const std::wstring& fileName, const std::wstring& time,
                             const std::wstring& why) {
    return L"\u201E" + fileName + L"\u201C kann nicht gelesen werden (" + time + L"): " + why;
}

}  // namespace dllscope
