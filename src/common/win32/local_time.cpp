#include "common/win32/local_time.h"

#include <windows.h>

#include <cstdio>

namespace dllscope {

std::wstring LocalTimeOfDay(bool milliseconds) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t time[16];
    std::swprintf(time, 16, L"%02u:%02u:%02u", now.wHour, now.wMinute, now.wSecond);
    if (!milliseconds) return time;
    wchar_t fraction[8];
    std::swprintf(fraction, 8, L".%03u", now.wMilliseconds);
    return std::wstring(time) + fraction;
}

}  // namespace dllscope
