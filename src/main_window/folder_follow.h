#pragma once
// Form1 follows its folder: what File1 shows once the folder has changed,
// and what the status line says of it.
#include <string>
#include <vector>

namespace dllscope {

// File1 after a change of its folder: the folder's plugin libraries as they
// are now, and the entry to select, the one of the same file name as the
// selection before (-1: none, or that file is gone).
struct ListUpdate {
    std::vector<std::wstring> names;
    int select = -1;
    bool changed = false;  // the list is not the one shown
    bool selectionGone = false;
};

ListUpdate FollowFolder(const std::vector<std::wstring>& shown, const std::wstring& selected,
                        const std::vector<std::wstring>& now);

// "„meinplugin.dll“ neu eingelesen (14:02:11)".
std::wstring ReadAgainWords(const std::wstring& fileName, const std::wstring& time);
// "„meinplugin.dll“ ist nicht mehr im Ordner (14:02:11)".
std::wstring GoneWords(const std::wstring& fileName, const std::wstring& time);
// "„meinplugin.dll“ kann nicht gelesen werden (14:02:11): <why>".
std::wstring UnreadableWords(const std::wstring& fileName, const std::wstring& time,
                             const std::wstring& why);

}  // namespace dllscope
