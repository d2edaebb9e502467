#include "changes/win32/changes_window.h"

#include "common/win32/controls.h"

#include "common/twips.h"

namespace dllscope {
namespace {

constexpr wchar_t kClassName[] = L"DllscopeChanges";
constexpr int kWidth = 12000, kHeight = 8400;  // twips
constexpr int kRemoved = 1, kInserted = 2;     // markers

std::wstring Lines(std::size_t n, const wchar_t* what) {
    return std::to_wstring(n) + (n == 1 ? L" Zeile " : L" Zeilen ") + what;
}

}  // namespace

std::wstring ChangesHeader(const ChangingRun& run, const LineCounts& counts) {
    return L"Plugin \u201E" + run.plugin + L"\u201C, Lauf um " + run.time + L": " +
           Lines(counts.removed, L"entfernt") + L", " + std::to_wstring(counts.inserted) +
           L" eingefügt, " + std::to_wstring(counts.changed) + L" geändert";
}

ChangesWindow::~ChangesWindow() {
    pane_.reset();
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
    if (font_) DeleteObject(font_);
}

void ChangesWindow::Show(const ChangingRun& run) {
    if (!hwnd_) {
        const int dpi = ScreenDpi();
        CreateFixed(kClassName, kWidth, kHeight, dpi);
        const int margin = TwipsToPixels(60, dpi), line = TwipsToPixels(300, dpi);
        RECT client;
        GetClientRect(hwnd_, &client);
        header_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP,
                                  margin, margin, client.right - 2 * margin, line, hwnd_, nullptr,
                                  app_.Instance(), nullptr);
        font_ = CreateDialogFont(dpi, true, L"MS Sans Serif");
        SendMessageW(header_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        pane_ = std::make_unique<CodePane>(
            hwnd_, 1, RECT{margin, margin + line, client.right - margin, client.bottom - margin},
            dpi);
        EditorComponent& p = pane_->Component();
        p.DefineMarker(kRemoved, MarkerShape::LineBackground, RGB(255, 214, 214));
        p.DefineMarker(kInserted, MarkerShape::LineBackground, RGB(214, 245, 214));
        // The margin says it too, for those who do not tell the colours apart.
        p.DefineMarker(kRemoved + 2, MarkerShape::Minus);
        p.DefineMarker(kInserted + 2, MarkerShape::Plus);
        p.ShowSymbolMargin(1, MulDiv(16, dpi, 96), (1 << (kRemoved + 2)) | (1 << (kInserted + 2)));
    }
    SetWindowTextW(hwnd_, (L"Änderungen des letzten Laufs \u2013 " + run.plugin).c_str());
    diff_ = DiffLines(run.before, run.after);
    SetWindowTextW(header_, ChangesHeader(run, diff_.counts).c_str());

    // One text: a line without its break (the last of a text) gets one here
    // when another follows.
    shown_.clear();
    for (std::size_t i = 0; i < diff_.lines.size(); ++i) {
        const std::string_view text = diff_.lines[i].text;
        shown_.append(text.data(), text.size());
        const bool broken = !text.empty() && (text.back() == '\n' || text.back() == '\r');
        if (!broken && i + 1 < diff_.lines.size()) shown_ += "\r\n";
    }
    EditorComponent& p = pane_->Component();
    p.SetReadOnly(false);
    p.Reset(shown_);
    p.SetReadOnly(true);
    p.DeleteAllMarkers();
    for (std::size_t i = 0; i < diff_.lines.size(); ++i) {
        if (diff_.lines[i].kind == LineKind::Same) continue;
        const int marker = diff_.lines[i].kind == LineKind::Removed ? kRemoved : kInserted;
        p.AddMarker(i, marker);
        p.AddMarker(i, marker + 2);
    }
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    p.GoToLineCentred(diff_.blocks.empty() ? 0 : diff_.blocks.front());
    pane_->SetFocus();
}

bool ChangesWindow::GoToChange(bool forward) {
    if (diff_.blocks.empty()) return false;
    EditorComponent& p = pane_->Component();
    const std::size_t line = p.LineOf(p.Caret());
    std::size_t to = forward ? diff_.blocks.front() : diff_.blocks.back();  // round the end
    if (forward) {
        for (const std::size_t b : diff_.blocks)
            if (b > line) {
                to = b;
                break;
            }
    } else {
        for (auto b = diff_.blocks.rbegin(); b != diff_.blocks.rend(); ++b)
            if (*b < line) {
                to = *b;
                break;
            }
    }
    p.GoToLineCentred(to);
    return true;
}

bool ChangesWindow::PreTranslate(MSG& msg) {
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_F8) {
        GoToChange(GetKeyState(VK_SHIFT) >= 0);
        return true;
    }
    return false;
}

}  // namespace dllscope
