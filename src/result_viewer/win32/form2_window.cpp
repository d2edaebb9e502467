#include "result_viewer/win32/form2_window.h"

#include "common/twips.h"

namespace dllscope {
namespace {

constexpr wchar_t kClassName[] = L"DllscopeForm2";
constexpr int kClientWidth = 10020, kClientHeight = 7410;  // twips
constexpr int kPaneLeft = 60, kPaneTop = 60, kPaneWidth = 9915, kPaneHeight = 7275;

}  // namespace

Form2Window::Form2Window(App& app, std::wstring& resultFileName)
    : Window(app), resultFileName_(resultFileName) {}

Form2Window::~Form2Window() {
    editor_.reset();
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

void Form2Window::Create() {
    const int dpi = ScreenDpi();
    CreateFixed(kClassName, kClientWidth, kClientHeight, dpi);
    const int left = TwipsToPixels(kPaneLeft, dpi), top = TwipsToPixels(kPaneTop, dpi);
    editor_ = std::make_unique<CodePane>(hwnd_, 1,
                                         RECT{left, top, left + TwipsToPixels(kPaneWidth, dpi),
                                              top + TwipsToPixels(kPaneHeight, dpi)},
                                         dpi);
    Form2 form2(*editor_, *this, resultFileName_);
    app_.RunCommand(hwnd_, L"Form2", L"Form_Load", [&form2] { form2.Form_Load(); });
}

void Form2Window::Set(const std::wstring& caption) { SetWindowTextW(hwnd_, caption.c_str()); }

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
