#include "result_viewer/form2_window.h"

#include "app/window_frame.h"
#include "main_window/form1_layout.h"

namespace dllscope {
namespace {

constexpr wchar_t kClassName[] = L"DllscopeForm2";
constexpr int kClientWidth = 10020, kClientHeight = 7410;                    // twips
constexpr int kPaneLeft = 60, kPaneTop = 60, kPaneWidth = 9915, kPaneHeight = 7275;

}  // namespace

Form2Window::Form2Window(App& app, std::wstring& resultFileName)
    : app_(app), resultFileName_(resultFileName) {}

Form2Window::~Form2Window() {
    editor_.reset();
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

void Form2Window::Create() {
    app_.RegisterWindowClass(kClassName, WindowProc);
    const int dpi = ScreenDpi();
    hwnd_ = CreateFixedWindow(kClassName, kClientWidth, kClientHeight, dpi, app_.Instance(), this);
    const int left = TwipsToPixels(kPaneLeft, dpi), top = TwipsToPixels(kPaneTop, dpi);
    editor_ = std::make_unique<RichEditPane>(
        hwnd_, 1, RECT{left, top, left + TwipsToPixels(kPaneWidth, dpi), top + TwipsToPixels(kPaneHeight, dpi)},
        dpi);
    app_.WindowOpened(*this);
    Form2 form2(*editor_, *this, resultFileName_);
    app_.RunCommand(hwnd_, L"Form2", L"Form_Load", [&form2] { form2.Form_Load(); });
}

void Form2Window::Set(const std::wstring& caption) { SetWindowTextW(hwnd_, caption.c_str()); }

LRESULT CALLBACK Form2Window::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    }
    auto* self = reinterpret_cast<Form2Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && msg == WM_DESTROY) {
        self->app_.WindowClosed(*self);
    } else if (self && msg == WM_NCDESTROY) {
        self->hwnd_ = nullptr;  // closing unloads the viewer
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void Win32ResultViewer::Show() {
    if (!Open()) {
        window_ = std::make_unique<Form2Window>(app_, resultFileName_);
        window_->Create();
    }
    ShowWindow(window_->Handle(), SW_SHOW);
}

Form2Window* Win32ResultViewer::Open() const {
    return window_ && window_->Handle() ? window_.get() : nullptr;
}

}  // namespace dllscope
