#include "launcher/win32/shell_wait.h"

#include <windows.h>

#include <cstdlib>

#include "common/win32/ansi.h"

namespace dllscope {

// The start-up record as the platform defines it: 68 bytes for 32-bit programs.
static_assert(sizeof(void*) != 4 || sizeof(STARTUPINFOA) == 68,
              "STARTUPINFOA is 68 bytes on Win32");

std::int16_t ShellWait(std::wstring& cmdline, std::int16_t bShowApp) {
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&startup, sizeof startup);
    ZeroMemory(&process, sizeof process);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(std::abs(static_cast<int>(bShowApp)));

    AnsiArg buffer(cmdline);
    // When nothing starts, the record stays zero and so does the handle: the
    // wait and the close fail at once and the result is False.
    CreateProcessA(nullptr, buffer.get(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                   nullptr, &startup, &process);
    buffer.WriteBack(cmdline);

    WaitForSingleObject(process.hProcess, INFINITE);
    const BOOL closed = CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return closed ? -1 : 0;
}

}  // namespace dllscope
