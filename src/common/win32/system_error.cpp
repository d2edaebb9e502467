#include "common/win32/system_error.h"

#include <windows.h>

#include <cwchar>

namespace dllscope {

namespace {

std::wstring SystemWords(unsigned long code) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n ? std::wstring(buffer, n) : std::wstring();
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                             text.back() == L'.')) {
        text.pop_back();
    }
    if (text.empty()) text = L"Systemfehler";
    return text;
}

}  // namespace

std::wstring SystemErrorText(unsigned long code) {
    return SystemWords(code) + L" (Fehler " + std::to_wstring(code) + L")";
}

std::wstring HresultText(long status) {
    wchar_t number[16];
    swprintf(number, 16, L"0x%08lX", static_cast<unsigned long>(status));
    return SystemWords(static_cast<unsigned long>(status)) + L" (" + number + L")";
}

}  // namespace dllscope
