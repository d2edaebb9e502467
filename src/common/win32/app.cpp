#include "common/win32/app.h"

#include <algorithm>
#include <vector>

#include "common/error_report.h"
#include "common/win32/message_box.h"

namespace dllscope {
namespace {

std::vector<HWND>& ModelessDialogs() {
    static std::vector<HWND> dialogs;
    return dialogs;
}

}  // namespace

void RememberModelessDialog(HWND dialog) { ModelessDialogs().push_back(dialog); }

void ForgetModelessDialog(HWND dialog) {
    auto& dialogs = ModelessDialogs();
    dialogs.erase(std::remove(dialogs.begin(), dialogs.end(), dialog), dialogs.end());
}

void App::RegisterWindowClass(const wchar_t* name, WNDPROC proc) const {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance_;
    wc.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(1));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    RegisterClassExW(&wc);  // fails harmlessly when already registered
}

void App::WindowOpened(AppWindow& window) { windows_.push_back(&window); }

void App::WindowClosed(AppWindow& window) {
    windows_.erase(std::remove(windows_.begin(), windows_.end(), &window), windows_.end());
    if (windows_.empty()) PostQuitMessage(0);
}

void App::RunCommand(HWND owner, const std::wstring& caption, const std::wstring& handler,
                     const std::function<void()>& body) {
    RunReportingFailures(caption, handler, body, [owner](const std::wstring& report) {
        ShowMessageBox(owner, report, MB_ICONERROR);
    });
}

int App::RunMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        const auto& dialogs = ModelessDialogs();
        if (std::any_of(dialogs.begin(), dialogs.end(),
                        [&msg](HWND d) { return IsDialogMessageW(d, &msg); })) {
            continue;
        }
        const HWND root = GetAncestor(msg.hwnd, GA_ROOT);
        const auto owner = std::find_if(windows_.begin(), windows_.end(),
                                        [root](AppWindow* w) { return w->Handle() == root; });
        if (owner != windows_.end() && (*owner)->PreTranslate(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace dllscope
