#include "test_support.h"

#include <cwchar>
#include <fstream>
#include <sstream>

#include "common/paths.h"
#include "window_helpers.h"

namespace dllscope::testing {
namespace {

ForeignCallGuard guard;

}  // namespace

ForeignCallGuard& TestGuard() { return guard; }

std::wstring TestFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return FolderOf(std::wstring(path, n));
}

std::wstring InTestFolder(const std::wstring& name) { return InFolder(TestFolder(), name); }

std::vector<std::string> ReadCallLog() {
    std::ifstream in(InTestFolder(L"calls.log").c_str(), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void ClearCallLog() { DeleteFileW(InTestFolder(L"calls.log").c_str()); }

void ForgetEarlierQuit() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

SeenMessageBox ReadMessageBox(HWND box) {
    SeenMessageBox seen;
    wchar_t buffer[4096];
    GetWindowTextW(box, buffer, 4096);
    seen.title = buffer;
    buffer[0] = 0;
    SendMessageW(GetDlgItem(box, 0xFFFF), WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer));
    seen.text = buffer;
    HWND iconControl = nullptr;
    for (HWND w = GetWindow(box, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if ((GetWindowLongW(w, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) iconControl = w;
    }
    if (iconControl && IsWindowVisible(iconControl)) {
        const auto icon = reinterpret_cast<HICON>(SendMessageW(iconControl, STM_GETICON, 0, 0));
        if (icon == LoadIconW(nullptr, IDI_EXCLAMATION))
            seen.icon = BoxIcon::Exclamation;
        else if (icon == LoadIconW(nullptr, IDI_HAND))
            seen.icon = BoxIcon::Error;
        else if (icon)
            seen.icon = BoxIcon::Other;
    }
    return seen;
}

Form1Control ControlNamed(const wchar_t* name) {
    for (const ControlLayout& row : kForm1Controls) {
        if (std::wcscmp(row.name, name) == 0) return row.control;
    }
    ADD_FAILURE() << "no control named " << name;
    return Form1Control::CodeMax1;
}

std::wstring TextOf(HWND window) {
    wchar_t buffer[1024] = L"";
    GetWindowTextW(window, buffer, 1024);
    return buffer;
}

void Form1WindowTest::SetUp() {
    ClearCallLog();
    ForgetEarlierQuit();
    program.Create();
}

void Form1WindowTest::Click(const wchar_t* button) {
    const HWND control = C(button);
    SendMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED),
                 reinterpret_cast<LPARAM>(control));
}

void Form1WindowTest::SelectInList(const wchar_t* entry) {
    const HWND list = C(L"File1");
    SendMessageW(list, LB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(entry));
    SendMessageW(window.Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
}

MessageBoxWatcher::MessageBoxWatcher() : thread_([this] { Watch(); }) {}

MessageBoxWatcher::~MessageBoxWatcher() {
    stop_ = true;
    thread_.join();
}

std::vector<SeenMessageBox> MessageBoxWatcher::Seen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

// Answers each message box of this process once, remembering what it said.
BOOL CALLBACK MessageBoxWatcher::AnswerBox(HWND w, LPARAM self) {
    auto* watcher = reinterpret_cast<MessageBoxWatcher*>(self);
    if (!IsVisibleWindowOf(w, GetCurrentProcessId(), L"#32770")) return TRUE;
    std::lock_guard<std::mutex> lock(watcher->mutex_);
    for (HWND done : watcher->answered_) {
        if (done == w) return TRUE;
    }
    watcher->answered_.push_back(w);
    watcher->seen_.push_back(ReadMessageBox(w));
    PostMessageW(w, WM_COMMAND, IDOK, 0);
    return TRUE;
}

void MessageBoxWatcher::Watch() {
    while (!stop_) {
        EnumWindows(AnswerBox, reinterpret_cast<LPARAM>(this));
        Sleep(20);
    }
}

}  // namespace dllscope::testing
