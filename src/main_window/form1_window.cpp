#include "main_window/form1_window.h"

#include <algorithm>
#include <cwchar>
#include <vector>

#include "app/message_box.h"
#include "app/window_frame.h"
#include "launcher/shell_wait.h"
#include "main_window/program_folder.h"
#include "plugin/demo_library_folder.h"

namespace dllscope {
namespace {

constexpr wchar_t kClassName[] = L"DllscopeForm1";
constexpr COLORREF kInfoBackground = RGB(255, 255, 192);
constexpr COLORREF kDescriptionText = RGB(0, 0, 255);

// The commands of this window's buttons: control name and handler.
struct ClickHandler {
    const wchar_t* control;
    void (Form1::*handler)();
};
constexpr ClickHandler kClickHandlers[] = {
    {L"Command1", &Form1::Command1_Click},   {L"Command3", &Form1::Command3_Click},
    {L"Command4", &Form1::Command4_Click},   {L"Command5", &Form1::Command5_Click},
    {L"Command6", &Form1::Command6_Click},   {L"Command7", &Form1::Command7_Click},
    {L"Command8", &Form1::Command8_Click},   {L"Command9", &Form1::Command9_Click},
    {L"Command10", &Form1::Command10_Click}, {L"Command11", &Form1::Command11_Click},
    {L"Command12", &Form1::Command12_Click}, {L"Command13", &Form1::Command13_Click},
    {L"Command14", &Form1::Command14_Click}, {L"Command15", &Form1::Command15_Click},
    {L"Command16", &Form1::Command16_Click}, {L"Command17", &Form1::Command17_Click},
};

std::size_t IndexOf(const wchar_t* name) {
    for (std::size_t i = 0; i < kForm1Controls.size(); ++i) {
        if (std::wcscmp(kForm1Controls[i].name, name) == 0) return i;
    }
    return kForm1Controls.size();
}

// Frame1 holds its own controls: it passes their notifications on to Form1
// and paints its inside, since it lies over the editor pane.
WNDPROC groupBoxProc = nullptr;
LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
            return SendMessageW(GetParent(hwnd), msg, wParam, lParam);
        case WM_ERASEBKGND: {
            RECT r;
            GetClientRect(hwnd, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r, GetSysColorBrush(COLOR_BTNFACE));
            return 1;
        }
        default:
            return CallWindowProcW(groupBoxProc, hwnd, msg, wParam, lParam);
    }
}

std::vector<FolderEntry> ReadFolder(const std::wstring& folder) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileExW(InFolder(folder, L"*").c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return entries;
    do {
        const DWORD a = found.dwFileAttributes;
        entries.push_back({found.cFileName, (a & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           (a & FILE_ATTRIBUTE_HIDDEN) != 0, (a & FILE_ATTRIBUTE_SYSTEM) != 0});
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return entries;
}

}  // namespace

Form1Window::Form1Window(App& app)
    : app_(app),
      bridge_(app.ExportBindings()),
      resultViewer_(app, app.ResultFileName()),
      demoExports_(app.ExportBindings(), kDemoLibraryFolder) {}

Form1Window::~Form1Window() {
    editor_.reset();
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
    if (font_) DeleteObject(font_);
    if (infoBrush_) DeleteObject(infoBrush_);
}

void Form1Window::Create() {
    if (hwnd_) return;
    app_.RegisterWindowClass(kClassName, WindowProc);
    const int dpi = ScreenDpi();
    hwnd_ = CreateFixedWindow(kClassName, kForm1ClientWidth, kForm1ClientHeight, dpi,
                              app_.Instance(), this);
    infoBrush_ = CreateSolidBrush(kInfoBackground);
    font_ = CreateFontW(-MulDiv(8, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                        DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_SWISS, L"MS Shell Dlg");
    CreateControls(dpi);
    form_ = std::make_unique<Form1>(Form1Services{App::ProgramFolder(), libraries_, bridge_, *editor_,
                                                  *this, resultViewer_, app_.ResultFileName(),
                                                  demoExports_, automation_});
    app_.WindowOpened(*this);
    app_.RunCommand(hwnd_, L"Dllscope", L"Form_Load", [this] { form_->Form_Load(); });
}

void Form1Window::Show(int showCommand) {
    Create();
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
}

void Form1Window::CreateControls(int dpi) {
    const HINSTANCE instance = app_.Instance();
    const std::size_t frame = IndexOf(L"Frame1");
    // Created in tab order, which puts Frame1 (14) before its controls (15 on).
    std::vector<std::size_t> order(kForm1Controls.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [](std::size_t a, std::size_t b) { return kForm1Controls[a].tab < kForm1Controls[b].tab; });

    for (const std::size_t i : order) {
        const ControlLayout& c = kForm1Controls[i];
        const HWND parent = c.inFrame ? controls_[frame] : hwnd_;
        RECT px{TwipsToPixels(c.left, dpi), TwipsToPixels(c.top, dpi), 0, 0};
        px.right = px.left + TwipsToPixels(c.width, dpi);
        px.bottom = px.top + TwipsToPixels(c.height, dpi);
        const int id = Form1ControlId(i);
        if (c.kind == ControlKind::Editor) {
            editor_ = std::make_unique<RichEditPane>(hwnd_, id, px, dpi);
            controls_[i] = editor_->Handle();
            continue;
        }
        const wchar_t* cls = L"BUTTON";
        DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
        DWORD exStyle = 0;
        switch (c.kind) {
            case ControlKind::Button: style |= WS_TABSTOP | BS_PUSHBUTTON; break;
            case ControlKind::Frame:
                style |= BS_GROUPBOX | WS_CLIPCHILDREN;
                exStyle = WS_EX_CONTROLPARENT;
                break;
            case ControlKind::Label: cls = L"STATIC"; style |= SS_LEFT | SS_NOPREFIX; break;
            case ControlKind::FileList:
                cls = L"LISTBOX";
                style |= WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT;
                exStyle = WS_EX_CLIENTEDGE;
                break;
            case ControlKind::TextBox:
                cls = L"EDIT";
                style |= WS_TABSTOP | ES_AUTOHSCROLL;
                exStyle = WS_EX_CLIENTEDGE;
                break;
            case ControlKind::Editor: break;
        }
        const HWND w = CreateWindowExW(exStyle, cls, c.text, style, px.left, px.top,
                                       px.right - px.left, px.bottom - px.top, parent,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                                       nullptr);
        SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        controls_[i] = w;
        if (c.kind == ControlKind::Frame) {
            groupBoxProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FrameProc)));
        }
    }
    // Frame1 lies over the editor pane and is drawn above it.
    SetWindowPos(controls_[frame], HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

HWND Form1Window::Control(const wchar_t* name) const {
    const std::size_t i = IndexOf(name);
    return i < controls_.size() ? controls_[i] : nullptr;
}

bool Form1Window::PreTranslate(MSG& msg) {
    // Tab moves through the controls in the window's tab order; the editor
    // pane keeps Tab for itself.
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB) return false;
    if (msg.hwnd == editor_->Handle()) return false;
    std::vector<std::pair<int, HWND>> stops;
    for (std::size_t i = 0; i < kForm1Controls.size(); ++i) {
        const ControlKind k = kForm1Controls[i].kind;
        if (k == ControlKind::Label || k == ControlKind::Frame) continue;
        stops.emplace_back(kForm1Controls[i].tab, controls_[i]);
    }
    std::sort(stops.begin(), stops.end());
    const HWND focus = GetFocus();
    auto at = std::find_if(stops.begin(), stops.end(),
                           [focus](const auto& s) { return s.second == focus; });
    const bool back = GetKeyState(VK_SHIFT) < 0;
    std::size_t pos = at == stops.end() ? 0 : static_cast<std::size_t>(at - stops.begin());
    pos = back ? (pos + stops.size() - 1) % stops.size() : (pos + 1) % stops.size();
    ::SetFocus(stops[pos].second);
    return true;
}

LRESULT CALLBACK Form1Window::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<Form1Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<Form1Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? self->HandleMessage(msg, wParam, lParam) : DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT Form1Window::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CTLCOLORSTATIC:
            if (const HBRUSH b = LabelColours(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam))) {
                return reinterpret_cast<LRESULT>(b);
            }
            break;
        case WM_CLOSE:
            DestroyWindow(hwnd_);
            return 0;
        case WM_DESTROY:
            app_.WindowClosed(*this);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

HBRUSH Form1Window::LabelColours(HWND control, HDC dc) {
    if (control == Control(L"lblBackvalue") || control == Control(L"lblName") ||
        control == Control(L"lblDescription")) {
        SetBkColor(dc, kInfoBackground);
        SetTextColor(dc, control == Control(L"lblDescription") ? kDescriptionText
                                                              : GetSysColor(COLOR_WINDOWTEXT));
        return infoBrush_;
    }
    if (control == Control(L"lblDateiname")) {
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
    if (c.kind == ControlKind::FileList) {
        // The selection handler traps its own errors.
        if (code == LBN_SELCHANGE) form_->File1_Click();
        return;
    }
    if (c.kind != ControlKind::Button || code != BN_CLICKED) return;
    for (const ClickHandler& h : kClickHandlers) {
        if (std::wcscmp(h.control, c.name) != 0) continue;
        app_.RunCommand(hwnd_, c.text, std::wstring(c.name) + L"_Click",
                        [this, &h] { ((*form_).*h.handler)(); });
    }
}

HWND Form1Window::LabelControl(Form1Label label) const {
    switch (label) {
        case Form1Label::Backvalue: return Control(L"lblBackvalue");
        case Form1Label::Name: return Control(L"lblName");
        case Form1Label::Description: return Control(L"lblDescription");
        case Form1Label::Dateiname: return Control(L"lblDateiname");
    }
    return nullptr;
}

void Form1Window::SetCaption(Form1Label label, const std::wstring& text) {
    SetWindowTextW(LabelControl(label), text.c_str());
}

std::wstring Form1Window::Caption(Form1Label label) {
    const HWND w = LabelControl(label);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(w)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(w, text.data(), static_cast<int>(text.size()))));
    return text;
}

void Form1Window::ShowMessage(const std::wstring& text, MessageIcon icon) {
    ShowMessageBox(hwnd_, text, icon == MessageIcon::Exclamation ? MB_ICONEXCLAMATION : 0);
}

void Form1Window::SetFileListFolder(const std::wstring& folder) {
    const HWND list = Control(L"File1");
    const std::vector<std::wstring> names = PluginLibraryNames(ReadFolder(folder));
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    SendMessageW(list, LB_INITSTORAGE, names.size(), names.size() * 32);
    for (const std::wstring& name : names) {
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

std::wstring Form1Window::SelectedFileName() {
    const HWND list = Control(L"File1");
    const LRESULT i = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (i == LB_ERR) return std::wstring();
    const LRESULT len = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    if (len == LB_ERR) return std::wstring();
    std::wstring name(static_cast<std::size_t>(len) + 1, L'\0');
    const LRESULT n = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(name.data()));
    name.resize(n == LB_ERR ? 0 : static_cast<std::size_t>(n));
    return name;
}

void Form1Window::EndProgram() { PostQuitMessage(0); }

std::int16_t Form1Window::ShellWait(std::wstring& cmdline, std::int16_t bShowApp) {
    return dllscope::ShellWait(cmdline, bShowApp);
}

}  // namespace dllscope
