#pragma once
#include <windows.h>

#include <string>

namespace dllscope {

inline constexpr wchar_t kAppTitle[] = L"Dllscope";

// A modal message box with an OK button, titled "Dllscope". `icon` is 0 or
// one of the MB_ICON... flags.
void ShowMessageBox(HWND owner, const std::wstring& text, UINT icon);

}  // namespace dllscope
