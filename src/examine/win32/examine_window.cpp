#include "examine/win32/examine_window.h"

#include <commctrl.h>

#include <cwchar>
#include <exception>

#include "common/error_report.h"
#include "common/german_number.h"
#include "common/paths.h"
#include "common/win32/ansi.h"
#include "check/win32/check_system.h"
#include "host/win32/host_process.h"

namespace dllscope {
namespace {

constexpr wchar_t kClassName[] = L"DllscopeExamine";
constexpr int kWidth = 9000, kHeight = 7500;  // twips

// A text as a multi-line edit control shows it: CR LF between lines.
std::wstring WithCrLf(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) out += L'\r';
        if (text[i] == L'\0') {
            out += L'\uFFFD';
            continue;
        }
        out += text[i];
    }
    return out;
}

}  // namespace

ExamineWindow::~ExamineWindow() {
    Stop();
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
    if (font_) DeleteObject(font_);
}

void ExamineWindow::Show(HWND owner, const std::wstring& plugin) {
    if (hwnd_ && Running()) {
        SetForegroundWindow(hwnd_);
        return;
    }
    owner_ = owner;
    plugin_ = plugin;
    if (!hwnd_) {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        dpi_ = ScreenDpi();
        CreateFixed(kClassName, kWidth, kHeight, dpi_);
        if (!font_) font_ = CreateDialogFont(dpi_);
        CreateControls();
        // Beside Form1 where the screen has room: the pane stays in sight.
        RECT form, own, work{};
        GetWindowRect(owner, &form);
        GetWindowRect(hwnd_, &own);
        MONITORINFO monitor{sizeof monitor, {}, {}, 0};
        if (GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor))
            work = monitor.rcWork;
        if (form.right + (own.right - own.left) <= work.right)
            SetWindowPos(hwnd_, nullptr, form.right, form.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    SetWindowTextW(hwnd_, (L"Plugin untersuchen \u2013 " + FileNameOf(plugin)).c_str());
    Clear();
    status_.SetText(L"\u201E" + FileNameOf(plugin) +
                    L"\u201C: erst das Fuzzing (Seiten, die das Plugin brechen sollen), dann "
                    L"das Profil (Seiten wachsender Größe). Ein Aufruf darf " +
                    std::to_wstring(kExamineHangSeconds) + L" s dauern.");
    ShowWindow(hwnd_, SW_SHOW);
    SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(hwnd_);
    start_.Focus();
}

// No findings, no page, no profile.
void ExamineWindow::Clear() {
    findings_.Send(LB_RESETCONTENT);
    detail_.SetText(L"");
    profile_.SetText(L"");
    progress_.Send(PBM_SETPOS, 0);
    toPaneButton_.Enable(false);
}

// The fields and Starten while no examination runs; Abbrechen while one does.
void ExamineWindow::EnableInput(bool on) {
    stopButton_.Enable(!on);
    start_.Enable(on);
    seconds_.Enable(on);
    seed_.Enable(on);
    cases_.Enable(on);
    coverage_.Enable(on);
}

void ExamineWindow::CreateControls() {
    // Pixels at 96 DPI; the controls' ids from 100 on, in this order.
    ControlRows& rows = rows_.emplace(hwnd_, app_.Instance(), font_, dpi_, 100);
    rows.Row(9, 24);
    rows.Add(nullptr, L"STATIC", L"Fuzzing (Sekunden):", SS_LEFT, 110, 0, 5, 18);
    rows.Add(&seconds_, L"EDIT", L"60", WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, 50, 2, 1, 22);
    rows.Add(nullptr, L"STATIC", L"Startwert:", SS_LEFT, 60, 14, 5, 18);
    rows.Add(&seed_, L"EDIT", L"", WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, 100, 2, 1, 22);
    rows.Add(&start_, L"BUTTON", L"Starten", WS_TABSTOP | BS_DEFPUSHBUTTON, 100, 24);
    rows.Add(&stopButton_, L"BUTTON", L"Abbrechen", WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, 100,
             8);
    rows.Row(42, 16);
    rows.Add(&progress_, PROGRESS_CLASSW, L"", 0, 570);
    progress_.Send(PBM_SETRANGE32, 0, 1000);
    rows.Row(64, 32);
    rows.Add(&status_, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, 570);
    rows.Row(100, 16);
    rows.Add(nullptr, L"STATIC", L"Funde, jeder mit der kleinsten Seite, auf der er auftritt:",
             SS_LEFT, 570);
    rows.Row(118, 92);
    rows.Add(&findings_, L"LISTBOX", L"",
             WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 570);
    rows.Row(216, 150);
    rows.Add(&detail_, L"EDIT", L"",
             WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 570);
    rows.Row(372, 24);
    rows.Add(&toPaneButton_, L"BUTTON", L"In den Editor", WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED,
             130);
    // Three lines of the profile's words, then the row of the cases.
    rows.Add(&profile_, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, 430, 10, 0, 44);
    rows.Row(424, 22);
    rows.Add(nullptr, L"STATIC", L"Fälle (Ordner):", SS_LEFT, 90, 0, 4, 18);
    rows.Add(&cases_, L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, 330, 4, 0, 22);
    rows.Add(&coverage_, L"BUTTON", L"Zeilen verfolgen", WS_TABSTOP | BS_AUTOCHECKBOX, 136, 10, 2,
             18);
    coverage_.Send(BM_SETCHECK, BST_CHECKED);

    start_.onCommand = [this](WORD n) {
        if (n == BN_CLICKED) Start();
    };
    stopButton_.onCommand = [this](WORD n) {
        if (n == BN_CLICKED && Running()) stop_ = true;
    };
    findings_.onCommand = [this](WORD n) {
        if (n == LBN_SELCHANGE) ShowFinding();
        if (n == LBN_DBLCLK) ToPane();
    };
    toPaneButton_.onCommand = [this](WORD) { ToPane(); };
}

bool ExamineWindow::Going(const std::wstring& stage, double done) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stage_ = stage;
        done_ = done;
    }
    // A few times a second is enough for the eye.
    const ULONGLONG now = GetTickCount64();
    if (now - lastPost_ >= 100) {
        lastPost_ = now;
        PostMessageW(hwnd_, kProgressMessage, 0, 0);
    }
    return !stop_;
}

void ExamineWindow::ShowProgress() {
    std::wstring stage;
    double done;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stage = stage_;
        done = done_;
    }
    status_.SetText(stage);
    progress_.Send(PBM_SETPOS, static_cast<WPARAM>(done * 1000));
}

void ExamineWindow::Stop() {
    if (!thread_) return;
    stop_ = true;
    // The host ends the call under way within a slice of its wait.
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
    if (owner_) EnableWindow(owner_, TRUE);
}

void ExamineWindow::Finished() {
    const bool stopped = stop_;
    Stop();
    EnableInput(true);
    progress_.Send(PBM_SETPOS, 1000);
    std::wstring status = stopped ? L"Abgebrochen" : L"Fertig";
    if (!failure_.empty()) {
        status = L"Die Untersuchung ist abgebrochen: " + failure_;
    } else if (const auto& fuzz = report_.fuzz) {
        const std::size_t n = fuzz->findings.size();
        status += L": " + std::to_wstring(fuzz->runs) + L" Läufe in " +
                  GermanNumber(fuzz->seconds, 1) + L" s, Startwert " + std::to_wstring(fuzz->seed) +
                  L", " +
                  (n == 0 ? std::wstring(L"kein Fund.")
                          : std::to_wstring(n) + (n == 1 ? L" Fund." : L" Funde."));
        for (const FuzzFinding& f : fuzz->findings) {
            const std::wstring line =
                FindingTitle(f) + L" (" + std::to_wstring(f.bytes) + L" Bytes)";
            findings_.Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        }
        const auto& lines = report_.fuzzCoverage ? report_.fuzzCoverage : report_.coverage;
        if (lines && lines->linesTotal > 0)
            status +=
                L" " + std::to_wstring(lines->linesReached * 100 / lines->linesTotal) +
                (lines->functions ? L" % der Funktionen erreicht (" : L" % der Zeilen erreicht (") +
                std::to_wstring(lines->linesReached) + L" von " +
                std::to_wstring(lines->linesTotal) +
                L"); die nie erreichten stehen im Bericht unten.";
    } else if (!stopped) {
        status =
            L"Nichts untersucht: das Plugin läuft nicht so weit; der Bericht der Prüfung "
            L"steht unten.";
    }
    status_.SetText(status);
    if (report_.profile) {
        std::wstring profile = L"Profil: " + report_.profile->words;
        if (!report_.profile->stopped.empty()) profile += L"\n" + report_.profile->stopped;
        profile_.SetText(WithCrLf(profile));
    }
    detail_.SetText(WithCrLf(PluginText(report_)));
    if (findings_.Send(LB_GETCOUNT) > 0) {
        findings_.Send(LB_SETCURSEL, 0);
        ShowFinding();
        findings_.Focus();
    } else {
        start_.Focus();
    }
}

void ExamineWindow::ShowFinding() {
    const LRESULT i = findings_.Send(LB_GETCURSEL);
    const bool chosen =
        report_.fuzz && i >= 0 && static_cast<std::size_t>(i) < report_.fuzz->findings.size();
    toPaneButton_.Enable(chosen);
    if (!chosen) return;
    const FuzzFinding& f = report_.fuzz->findings[static_cast<std::size_t>(i)];
    std::wstring text = f.message + L"\n\nKleinste Seite (" + std::to_wstring(f.bytes) +
                        L" Bytes, " + f.mutation + L"):\n" + f.input;
    detail_.SetText(WithCrLf(text));
}

// The selected finding's page into Form1's pane, and Form1 to the front.
void ExamineWindow::ToPane() {
    const LRESULT i = findings_.Send(LB_GETCURSEL);
    if (Running() || !report_.fuzz || i < 0 ||
        static_cast<std::size_t>(i) >= report_.fuzz->findings.size())
        return;
    toPane_(report_.fuzz->findings[static_cast<std::size_t>(i)].input);
    if (owner_) {
        SetWindowPos(owner_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetForegroundWindow(owner_);
    }
}

bool ExamineWindow::PreTranslate(MSG& msg) {
    // Tab, Enter (Starten) and Escape (Abbrechen) as in a dialog.
    return hwnd_ && (msg.hwnd == hwnd_ || IsChild(hwnd_, msg.hwnd)) &&
           IsDialogMessageW(hwnd_, &msg);
}

LRESULT ExamineWindow::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case kProgressMessage:
            if (Running()) ShowProgress();
            return 0;
        case kDoneMessage:
            if (Running()) Finished();
            return 0;
        case WM_COMMAND:
            // Enter in the fields starts; elsewhere it does nothing. Escape stops.
            if (LOWORD(wParam) == IDOK && (seconds_.HasFocus() || seed_.HasFocus())) Start();
            if (LOWORD(wParam) == IDCANCEL && Running()) stop_ = true;
            rows_->Command(wParam);
            return 0;
        case WM_CLOSE:
            // Closing stops an examination under way; its findings go with the window.
            Stop();
            break;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

}  // namespace dllscope
