// Dllscope: a test bench for Tagsmith plugins.
#include <objbase.h>
#include <windows.h>

#include <cwchar>

#include "app/win32/program.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
    // A plugin that cannot be loaded is a value, not a system dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int code = 0;
    {
        dllscope::ForeignCallGuard guard;
        dllscope::App app(instance);
        // --isolated: plugins in a process of their own from the start.
        const bool isolated = commandLine && std::wcsstr(commandLine, L"--isolated") != nullptr;
        dllscope::Program program(app, guard, isolated);
        program.Open(showCommand);
        code = app.RunMessageLoop();
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return code;
}
