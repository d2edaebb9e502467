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
constexpr int kWidth = 9000, kHeight = 7050;  // twips
constexpr UINT kProgressMessage = WM_APP + 1, kDoneMessage = WM_APP + 2;
enum Control : int {
    kSeconds = 100,
    kSeed,
    kStart,
    kStop,
    kProgress,
    kStatus,
    kFindings,
    kDetail,
    kToPane,
    kProfile
};
constexpr int kHangSeconds = 10;  // how long one call of the plugin may take

// The plugin's host ends a call that runs too long, or any call once the
// examination is stopped: the waits are cut into short slices to see that.
class ExamineWaiting : public HostWaiting {
  public:
    explicit ExamineWaiting(const std::atomic<bool>& stop) : stop_(stop) {}
    void BeforeCall(const ForeignCall&) override { ran_ = 0; }
    DWORD HangMilliseconds() override { return 100; }
    bool EndHungCall(const ForeignCall&, unsigned long long milliseconds) override {
        ran_ += milliseconds;
        return stop_ || ran_ >= kHangSeconds * 1000ULL;
    }

  private:
    const std::atomic<bool>& stop_;
    unsigned long long ran_ = 0;
};

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
        if (!font_)
            font_ = CreateFontW(-MulDiv(8, dpi_, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Shell Dlg");
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
    SetDlgItemTextW(hwnd_, kStatus,
                    (L"\u201E" + FileNameOf(plugin) +
                     L"\u201C: erst das Fuzzing (Seiten, die das Plugin brechen sollen), dann "
                     L"das Profil (Seiten wachsender Größe). Ein Aufruf darf " +
                     std::to_wstring(kHangSeconds) + L" s dauern.")
                        .c_str());
    SendDlgItemMessageW(hwnd_, kFindings, LB_RESETCONTENT, 0, 0);
    SetDlgItemTextW(hwnd_, kDetail, L"");
    SetDlgItemTextW(hwnd_, kProfile, L"");
    SendDlgItemMessageW(hwnd_, kProgress, PBM_SETPOS, 0, 0);
    EnableWindow(GetDlgItem(hwnd_, kToPane), FALSE);
    ShowWindow(hwnd_, SW_SHOW);
    SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(hwnd_);
    SetFocus(GetDlgItem(hwnd_, kStart));
}

HWND ExamineWindow::Add(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w,
                        int h, int id) {
    const auto px = [this](int v) { return MulDiv(v, dpi_, 96); };
    const DWORD exStyle = (std::wcscmp(cls, L"EDIT") == 0 || std::wcscmp(cls, L"LISTBOX") == 0)
                              ? WS_EX_CLIENTEDGE
                              : 0;
    const HWND c = CreateWindowExW(
        exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, px(x), px(y), px(w), px(h), hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), app_.Instance(), nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return c;
}

void ExamineWindow::CreateControls() {
    // Pixels at 96 DPI.
    Add(L"STATIC", L"Fuzzing (Sekunden):", SS_LEFT, 10, 14, 110, 18, 0);
    Add(L"EDIT", L"60", WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, 122, 10, 50, 22, kSeconds);
    Add(L"STATIC", L"Startwert:", SS_LEFT, 186, 14, 60, 18, 0);
    Add(L"EDIT", L"", WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, 248, 10, 100, 22, kSeed);
    Add(L"BUTTON", L"Starten", WS_TABSTOP | BS_DEFPUSHBUTTON, 372, 9, 100, 24, kStart);
    Add(L"BUTTON", L"Abbrechen", WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, 480, 9, 100, 24, kStop);
    const HWND bar = Add(PROGRESS_CLASSW, L"", 0, 10, 42, 570, 16, kProgress);
    SendMessageW(bar, PBM_SETRANGE32, 0, 1000);
    Add(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, 10, 64, 570, 32, kStatus);
    Add(L"STATIC", L"Funde, jeder mit der kleinsten Seite, auf der er auftritt:", SS_LEFT, 10, 100,
        570, 16, 0);
    Add(L"LISTBOX", L"", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 10, 118, 570,
        92, kFindings);
    Add(L"EDIT", L"", WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 10,
        216, 570, 150, kDetail);
    Add(L"BUTTON", L"In den Editor", WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, 10, 372, 130, 24,
        kToPane);
    Add(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, 150, 372, 430, 90, kProfile);
}

void ExamineWindow::Start() {
    if (Running()) return;
    const std::wstring seconds = WindowText(GetDlgItem(hwnd_, kSeconds));
    const std::wstring seed = WindowText(GetDlgItem(hwnd_, kSeed));
    // Digits only (the fields take no others), so few that they cannot overflow.
    const auto number = [](const std::wstring& digits) {
        unsigned long long n = 0;
        for (const wchar_t c : digits) n = c >= L'0' && c <= L'9' ? n * 10 + (c - L'0') : 0;
        return n;
    };
    settings_ = CheckSettings{};
    settings_.fuzzSeconds = seconds.size() > 5 ? 0 : static_cast<int>(number(seconds));
    if (settings_.fuzzSeconds < 1) {
        SetDlgItemTextW(hwnd_, kStatus,
                        L"Das Fuzzing braucht eine Dauer von mindestens 1 Sekunde.");
        SetFocus(GetDlgItem(hwnd_, kSeconds));
        return;
    }
    if (!seed.empty()) {
        if (seed.size() > 18) {
            SetDlgItemTextW(hwnd_, kStatus, L"Der Startwert hat höchstens 18 Ziffern.");
            SetFocus(GetDlgItem(hwnd_, kSeed));
            return;
        }
        settings_.seed = number(seed);
    }
    settings_.profile = true;
    report_ = PluginReport{};
    report_.file = plugin_;
    failure_.clear();
    stop_ = false;
    stage_ = L"Lädt das Plugin \u2026";
    done_ = 0;
    SendDlgItemMessageW(hwnd_, kFindings, LB_RESETCONTENT, 0, 0);
    SetDlgItemTextW(hwnd_, kDetail, L"");
    SetDlgItemTextW(hwnd_, kProfile, L"");
    EnableWindow(GetDlgItem(hwnd_, kToPane), FALSE);
    ShowProgress();
    // Form1 waits: a run there would share the exchange file and the plugin.
    if (owner_) EnableWindow(owner_, FALSE);
    thread_ = CreateThread(nullptr, 0, Work, this, 0, nullptr);
    if (!thread_) {
        if (owner_) EnableWindow(owner_, TRUE);
        SetDlgItemTextW(hwnd_, kStatus, L"Die Untersuchung kann nicht starten (kein Thread).");
        return;
    }
    EnableWindow(GetDlgItem(hwnd_, kStop), TRUE);
    EnableWindow(GetDlgItem(hwnd_, kStart), FALSE);
    EnableWindow(GetDlgItem(hwnd_, kSeconds), FALSE);
    EnableWindow(GetDlgItem(hwnd_, kSeed), FALSE);
    SetFocus(GetDlgItem(hwnd_, kStop));
}

DWORD WINAPI ExamineWindow::Work(void* self) {
    auto& w = *static_cast<ExamineWindow*>(self);
    try {
        ExamineWaiting waiting(w.stop_);
        PluginHost host(w.setup_.hostProgram, PassablePath(w.setup_.bridge), waiting);
        HostClient client(host);
        host.Launch();
        HostLibraries libraries(client);
        AnsiTextCodec codec;
        HostBridge bridge(client, codec, w.setup_.bridge);
        HostCheckSystem system(host, client, libraries);
        PluginCheck check(w.settings_, libraries, bridge, system, w.setup_.bridge);
        check.Follow(w);
        check.Check(w.plugin_, w.report_);
    } catch (const std::exception& e) {
        w.failure_ = ErrorWords(e);
    } catch (...) {
        w.failure_ = L"Unbekannter Fehler.";
    }
    PostMessageW(w.hwnd_, kDoneMessage, 0, 0);
    return 0;
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
    SetDlgItemTextW(hwnd_, kStatus, stage.c_str());
    SendDlgItemMessageW(hwnd_, kProgress, PBM_SETPOS, static_cast<WPARAM>(done * 1000), 0);
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
    EnableWindow(GetDlgItem(hwnd_, kStop), FALSE);
    EnableWindow(GetDlgItem(hwnd_, kStart), TRUE);
    EnableWindow(GetDlgItem(hwnd_, kSeconds), TRUE);
    EnableWindow(GetDlgItem(hwnd_, kSeed), TRUE);
    SendDlgItemMessageW(hwnd_, kProgress, PBM_SETPOS, 1000, 0);
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
            SendDlgItemMessageW(hwnd_, kFindings, LB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(line.c_str()));
        }
    } else if (!stopped) {
        status =
            L"Nichts untersucht: das Plugin läuft nicht so weit; der Bericht der Prüfung "
            L"steht unten.";
    }
    SetDlgItemTextW(hwnd_, kStatus, status.c_str());
    if (report_.profile) {
        std::wstring profile = L"Profil: " + report_.profile->words;
        if (!report_.profile->stopped.empty()) profile += L"\n" + report_.profile->stopped;
        SetDlgItemTextW(hwnd_, kProfile, WithCrLf(profile).c_str());
    }
    SetDlgItemTextW(hwnd_, kDetail, WithCrLf(PluginText(report_)).c_str());
    const HWND list = GetDlgItem(hwnd_, kFindings);
    if (SendMessageW(list, LB_GETCOUNT, 0, 0) > 0) {
        SendMessageW(list, LB_SETCURSEL, 0, 0);
        ShowFinding();
        SetFocus(list);
    } else {
        SetFocus(GetDlgItem(hwnd_, kStart));
    }
}

void ExamineWindow::ShowFinding() {
    const LRESULT i = SendDlgItemMessageW(hwnd_, kFindings, LB_GETCURSEL, 0, 0);
    const bool chosen =
        report_.fuzz && i >= 0 && static_cast<std::size_t>(i) < report_.fuzz->findings.size();
    EnableWindow(GetDlgItem(hwnd_, kToPane), chosen);
    if (!chosen) return;
    const FuzzFinding& f = report_.fuzz->findings[static_cast<std::size_t>(i)];
    std::wstring text = f.message + L"\n\nKleinste Seite (" + std::to_wstring(f.bytes) +
                        L" Bytes, " + f.mutation + L"):\n" + f.input;
    SetDlgItemTextW(hwnd_, kDetail, WithCrLf(text).c_str());
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
            switch (LOWORD(wParam)) {
                case IDOK:  // Enter in the fields starts; elsewhere it does nothing
                    if (GetFocus() != GetDlgItem(hwnd_, kSeconds) &&
                        GetFocus() != GetDlgItem(hwnd_, kSeed))
                        return 0;
                    [[fallthrough]];
                case kStart:
                    if (HIWORD(wParam) == BN_CLICKED) Start();
                    return 0;
                case IDCANCEL:
                case kStop:
                    if (HIWORD(wParam) == BN_CLICKED && Running()) stop_ = true;
                    return 0;
                case kFindings:
                    if (HIWORD(wParam) == LBN_SELCHANGE) ShowFinding();
                    if (HIWORD(wParam) != LBN_DBLCLK) return 0;
                    [[fallthrough]];
                case kToPane: {
                    const LRESULT i = SendDlgItemMessageW(hwnd_, kFindings, LB_GETCURSEL, 0, 0);
                    if (Running() || !report_.fuzz || i < 0 ||
                        static_cast<std::size_t>(i) >= report_.fuzz->findings.size())
                        return 0;
                    toPane_(report_.fuzz->findings[static_cast<std::size_t>(i)].input);
                    if (owner_) {
                        SetWindowPos(owner_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
                        SetForegroundWindow(owner_);
                    }
                    return 0;
                }
                default:
                    return 0;
            }
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
