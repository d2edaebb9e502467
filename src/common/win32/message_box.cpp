#include "common/win32/message_box.h"

namespace dllscope {

void ShowMessageBox(HWND owner, const std::wstring& text, UINT icon) {
    MessageBoxW(owner, text.c_str(), kAppTitle, MB_OK | icon);
}

}  // namespace dllscope
