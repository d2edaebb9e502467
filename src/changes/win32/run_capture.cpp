#include "changes/win32/run_capture.h"

#include <windows.h>

#include <cwchar>

namespace dllscope {

void RunCapture::CommandBegins(const std::wstring& handler) {
    if (handler == handler_) before_ = pane_.Utf8Text();
}

void RunCapture::CommandEnded(const std::wstring& handler) {
    if (handler != handler_) return;
    std::string after = pane_.Utf8Text();
    if (after == before_) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t time[16];
    std::swprintf(time, 16, L"%02u:%02u:%02u", now.wHour, now.wMinute, now.wSecond);
    last_ = {plugin_(), time, std::move(before_), std::move(after)};
    before_.clear();
}

}  // namespace dllscope
