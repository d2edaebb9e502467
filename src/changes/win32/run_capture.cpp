#include "changes/win32/run_capture.h"

#include <windows.h>

#include "common/win32/local_time.h"

namespace dllscope {

void RunCapture::CommandBegins(const std::wstring& handler) {
    if (handler == handler_) before_ = pane_.Utf8Text();
}

void RunCapture::CommandEnded(const std::wstring& handler) {
    if (handler != handler_) return;
    std::string after = pane_.Utf8Text();
    if (after == before_) return;
    last_ = {plugin_(), LocalTimeOfDay(), std::move(before_), std::move(after)};
    before_.clear();
}

}  // namespace dllscope
