#include "common/win32/local_time.h"

#include <windows.h>

#include <cstdio>

namespace dllscope {

std::wstring LocalTimeOfDay() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t time[16];
    std::swprintf(time, 16, L"%02u:%02u:%02u", now.wHour, now.wMinute, now.wSecond);
    return time;
}

}  // namespace dllscope
