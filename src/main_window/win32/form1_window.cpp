#include "main_window/win32/form1_window.h"

#include "common/win32/controls.h"

#include <algorithm>
#include <vector>

#include "common/win32/ansi.h"
#include "common/win32/files.h"
#include "common/win32/message_box.h"
#include "common/twips.h"
#include "main_window/program_folder.h"
#include "launcher/win32/shell_wait.h"
#include "main_window/win32/folder_entries.h"
#include "main_window/win32/form1_controls.h"
#include "main_window/win32/demo_library_folder.h"

namespace dllscope {
namespace {

constexpr wchar_t kClassName[] = L"DllscopeForm1";
// The system menu's own commands lie from 0xF000; the low four bits are the system's.
constexpr UINT kFirstSystemItem = 0x1000;
constexpr COLORREF kInfoBackground = RGB(255, 255, 192);
constexpr COLORREF kDescriptionText = RGB(0, 0, 255);

// Entry `i` of a list box; empty when it has none.
std::wstring ListEntry(HWND list, LRESULT i) {
    const LRESULT len = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    if (len == LB_ERR) return std::wstring();
    std::wstring name(static_cast<std::size_t>(len) + 1, L'\0');
    const LRESULT n = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i),
                                   reinterpret_cast<LPARAM>(name.data()));
    name.resize(n == LB_ERR ? 0 : static_cast<std::size_t>(n));
    return name;
}

}  // namespace

Form1Window::Form1Window(App& app, Form1Adapters adapters) : Window(app), adapters_(adapters) {}

Form1Window::~Form1Window() {
    follower_.reset();  // its thread posts to the window
    editor_.reset();
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
    if (font_) DeleteObject(font_);
    if (infoBrush_) DeleteObject(infoBrush_);
}

void Form1Window::Create() {
    if (hwnd_) return;
    const int dpi = ScreenDpi();
    CreateFixed(kClassName, kForm1ClientWidth, kForm1ClientHeight + kForm1StatusHeight, dpi);
    infoBrush_ = CreateSolidBrush(kInfoBackground);
    font_ = CreateDialogFont(dpi);
    CreateControls(dpi);
    status_ = CreateWindowExW(
        0, L"Static", L"", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_SUNKEN, 0,
        TwipsToPixels(kForm1ClientHeight, dpi), TwipsToPixels(kForm1ClientWidth, dpi),
        TwipsToPixels(kForm1StatusHeight, dpi), hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kForm1StatusId)), app_.Instance(), nullptr);
    SendMessageW(status_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    // A folder the ANSI code page cannot carry goes out in its short form:
    // plugin paths, the bridge's and the exchange file's all start with it.
    const Form1Adapters& a = adapters_;
    form_ = std::make_unique<Form1>(Form1Services{PassablePath(ProgramFolder()), a.libraries,
                                                  a.bridge, *editor_, *this, a.resultViewer,
                                                  a.resultFileName, a.demoExports, a.automation});
    app_.RunCommand(hwnd_, L"Dllscope", L"Form_Load", [this] { form_->Form_Load(); });
    follower_ = std::make_unique<FolderFollower>(*this, PassablePath(ProgramFolder()));
}

void Form1Window::Show(int showCommand) {
    Create();
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
}

void Form1Window::CreateControls(int dpi) {
    // Created in tab order, which puts Frame1 (14) before its controls (15 on).
    std::vector<std::size_t> order(kForm1Controls.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [](std::size_t a, std::size_t b) {
        return kForm1Controls[a].tab < kForm1Controls[b].tab;
    });
    for (const std::size_t i : order) {
        const ControlLayout& c = kForm1Controls[i];
        RECT px{TwipsToPixels(c.left, dpi), TwipsToPixels(c.top, dpi), 0, 0};
        px.right = px.left + TwipsToPixels(c.width, dpi);
        px.bottom = px.top + TwipsToPixels(c.height, dpi);
        const int id = Form1ControlId(i);
        if (c.kind == ControlKind::Editor) {
            editor_ = std::make_unique<CodePane>(hwnd_, id, px, dpi);
            editor_->TakeFiles();
            controls_[i] = editor_->Handle();
        } else {
            const HWND parent = c.inFrame ? Control(Form1Control::Frame1) : hwnd_;
            controls_[i] = CreateLayoutControl(c, parent, id, px, font_, app_.Instance());
        }
        // Tab moves through every control but the labels and the frame.
        if (c.kind != ControlKind::Label && c.kind != ControlKind::Frame)
            tabStops_.push_back(controls_[i]);
    }
    // Frame1 lies over the editor pane and is drawn above it.
    SetWindowPos(Control(Form1Control::Frame1), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

bool Form1Window::PreTranslate(MSG& msg) {
    // The system menu's shortcuts, before any control (the pane's own
    // bindings for these keys give way).
    if (msg.message == WM_KEYDOWN && GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_SHIFT) < 0) {
        for (const SystemItem& item : systemItems_) {
            if (item.key && item.key == msg.wParam) {
                item.chosen();
                return true;
            }
        }
    }
    // Tab moves through the controls in the window's tab order; the editor
    // pane keeps Tab for itself.
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB) return false;
    if (msg.hwnd == editor_->Handle()) return false;
    const auto at = std::find(tabStops_.begin(), tabStops_.end(), GetFocus());
    const bool back = GetKeyState(VK_SHIFT) < 0;
    const std::size_t n = tabStops_.size();
    std::size_t pos = at == tabStops_.end() ? 0 : static_cast<std::size_t>(at - tabStops_.begin());
    pos = back ? (pos + n - 1) % n : (pos + 1) % n;
    ::SetFocus(tabStops_[pos]);
    return true;
}

UINT Form1Window::AddSystemMenuItem(const std::wstring& text, std::function<void()> chosen,
                                    WPARAM key) {
    const HMENU menu = GetSystemMenu(hwnd_, FALSE);
    if (systemItems_.empty()) AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    const UINT id = kFirstSystemItem + 16 * static_cast<UINT>(systemItems_.size());
    const std::wstring shown =
        key ? text + L"\tStrg+Umschalt+" + std::wstring(1, static_cast<wchar_t>(key)) : text;
    AppendMenuW(menu, MF_STRING, id, shown.c_str());
    systemItems_.push_back({std::move(chosen), key});
    return id;
}

void Form1Window::CheckSystemMenuItem(UINT id, bool checked) {
    CheckMenuItem(GetSystemMenu(hwnd_, FALSE), id,
                  MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

LRESULT Form1Window::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_SYSCOMMAND: {
            const UINT id = static_cast<UINT>(wParam & 0xFFF0);
            const std::size_t item = (id - kFirstSystemItem) / 16;
            if (id >= kFirstSystemItem && item < systemItems_.size()) {
                systemItems_[item].chosen();
                return 0;
            }
            break;
        }
        case FolderFollower::kChangedMessage:
            if (follower_) follower_->OnChanged();
            return 0;
        case WM_TIMER:
            if (wParam == FolderFollower::kTimer && follower_) {
                follower_->OnTimer();
                return 0;
            }
            break;
        case WM_CTLCOLORSTATIC:
            if (const HBRUSH b =
                    LabelColours(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam))) {
                return reinterpret_cast<LRESULT>(b);
            }
            break;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

HBRUSH Form1Window::LabelColours(HWND control, HDC dc) {
    const HWND description = Control(Form1Control::lblDescription);
    if (control == Control(Form1Control::lblBackvalue) ||
        control == Control(Form1Control::lblName) || control == description) {
        SetBkColor(dc, kInfoBackground);
        SetTextColor(dc, control == description ? kDescriptionText : GetSysColor(COLOR_WINDOWTEXT));
        return infoBrush_;
    }
    if (control == Control(Form1Control::lblDateiname)) {
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        return GetSysColorBrush(COLOR_WINDOW);
    }
    return nullptr;
}

void Form1Window::OnCommand(int id, int code) {
    const std::size_t index = static_cast<std::size_t>(id - Form1ControlId(0));
    if (index >= kForm1Controls.size()) return;
    const ControlLayout& c = kForm1Controls[index];
    const bool selection = c.kind == ControlKind::FileList && code == LBN_SELCHANGE;
    const bool click = c.kind == ControlKind::Button && code == BN_CLICKED && c.click;
    if (!selection && !click) return;
    const std::wstring handler = std::wstring(c.name) + L"_Click";
    AsCommand(handler, [&] {
        if (selection) {
            form_->File1_Click();  // it traps its own errors
        } else {
            app_.RunCommand(hwnd_, c.text, handler, [this, &c] { ((*form_).*c.click)(); });
        }
    });
}

void Form1Window::AsCommand(const std::wstring& handler, const std::function<void()>& body) {
    ++commandDepth_;
    for (CommandListener* l : listeners_) l->CommandBegins(handler);
    body();
    for (CommandListener* l : listeners_) l->CommandEnded(handler);
    --commandDepth_;
}

std::vector<std::wstring> Form1Window::FileListEntries() const {
    const HWND list = Control(Form1Control::File1);
    std::vector<std::wstring> names;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) names.push_back(ListEntry(list, i));
    return names;
}

void Form1Window::ShowFileList(const std::vector<std::wstring>& names, int select) {
    const HWND list = Control(Form1Control::File1);
    const LRESULT top = SendMessageW(list, LB_GETTOPINDEX, 0, 0);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    SendMessageW(list, LB_INITSTORAGE, names.size(), names.size() * 32);
    for (const std::wstring& name : names)
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(top), 0);
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(select), 0);
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

void Form1Window::SetStatus(const std::wstring& text) { SetWindowTextW(status_, text.c_str()); }

HWND Form1Window::LabelControl(Form1Label label) const {
    switch (label) {
        case Form1Label::Backvalue:
            return Control(Form1Control::lblBackvalue);
        case Form1Label::Name:
            return Control(Form1Control::lblName);
        case Form1Label::Description:
            return Control(Form1Control::lblDescription);
        case Form1Label::Dateiname:
            return Control(Form1Control::lblDateiname);
    }
    return nullptr;
}

void Form1Window::SetCaption(Form1Label label, const std::wstring& text) {
    SetWindowTextW(LabelControl(label), text.c_str());
}

std::wstring Form1Window::Caption(Form1Label label) { return WindowText(LabelControl(label)); }

void Form1Window::ShowMessage(const std::wstring& text, MessageIcon icon) {
    ShowMessageBox(hwnd_, text, icon == MessageIcon::Exclamation ? MB_ICONEXCLAMATION : 0);
}

void Form1Window::SetFileListFolder(const std::wstring& folder) {
    ShowFileList(PluginLibraryNames(ReadFolder(folder)), -1);
}

std::wstring Form1Window::SelectedFileName() {
    const HWND list = Control(Form1Control::File1);
    const LRESULT i = SendMessageW(list, LB_GETCURSEL, 0, 0);
    return i == LB_ERR ? std::wstring() : ListEntry(list, i);
}

void Form1Window::EndProgram() { PostQuitMessage(0); }

std::int16_t Form1Window::ShellWait(std::wstring& cmdline, std::int16_t bShowApp) {
    return dllscope::ShellWait(cmdline, bShowApp);
}

}  // namespace dllscope
