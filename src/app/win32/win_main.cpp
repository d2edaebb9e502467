// Dllscope: a test bench for Tagsmith plugins.
#include <objbase.h>
#include <windows.h>

#include "app/win32/app.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // A plugin that cannot be loaded is a value, not a system dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    dllscope::App app(instance);
    const auto form1 = dllscope::OpenMainWindow(app, showCommand);
    const int code = app.RunMessageLoop();

    if (SUCCEEDED(com)) CoUninitialize();
    return code;
}
