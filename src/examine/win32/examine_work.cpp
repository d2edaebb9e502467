// The examination: its settings from the window's fields, and its thread,
// the plugin's check in its own host, followed by the window.
#include <algorithm>
#include <exception>

#include "check/check_cases.h"
#include "check/win32/check_system.h"
#include "common/error_report.h"
#include "examine/win32/examine_window.h"
#include "host/win32/host_session.h"

namespace dllscope {
namespace {

// The plugin's host ends a call that runs too long (kExamineHangSeconds,
// or less while a hang's page is shrunk), or any call once the examination
// is stopped: the waits are cut into short slices to see that.
class ExamineWaiting : public HostWaiting {
  public:
    explicit ExamineWaiting(const std::atomic<bool>& stop) : stop_(stop) {}
    void BeforeCall(const ForeignCall&) override { ran_ = 0; }
    DWORD HangMilliseconds() override { return 100; }
    bool EndHungCall(const ForeignCall&, unsigned long long milliseconds, HangSampling&) override {
        ran_ += milliseconds;
        const unsigned long long full = kExamineHangSeconds * 1000ULL;
        return stop_ || ran_ >= (limit_ > 0 ? std::min(limit_, full) : full);
    }
    void Limit(double milliseconds) { limit_ = static_cast<unsigned long long>(milliseconds); }

  private:
    const std::atomic<bool>& stop_;
    unsigned long long ran_ = 0, limit_ = 0;
};

}  // namespace

bool ExamineWindow::ReadFields() {
    const std::wstring seconds = seconds_.Text();
    const std::wstring seed = seed_.Text();
    // Digits only (the fields take no others), so few that they cannot overflow.
    const auto number = [](const std::wstring& digits) {
        unsigned long long n = 0;
        for (const wchar_t c : digits) n = c >= L'0' && c <= L'9' ? n * 10 + (c - L'0') : 0;
        return n;
    };
    const auto refuse = [this](Control& field, const std::wstring& why) {
        status_.SetText(why);
        field.Focus();
        return false;
    };
    settings_ = CheckSettings{};
    settings_.fuzzSeconds = seconds.size() > 5 ? 0 : static_cast<int>(number(seconds));
    if (settings_.fuzzSeconds < 1)
        return refuse(seconds_, L"Das Fuzzing braucht eine Dauer von mindestens 1 Sekunde.");
    if (seed.size() > 18) return refuse(seed_, L"Der Startwert hat höchstens 18 Ziffern.");
    if (!seed.empty()) settings_.seed = number(seed);
    // The author's cases: checked first, then the pages the fuzzing starts from.
    std::wstring cases = cases_.Text();
    while (!cases.empty() && (cases.back() == L' ' || cases.back() == L'\\')) cases.pop_back();
    while (!cases.empty() && cases.front() == L' ') cases.erase(0, 1);
    if (!cases.empty()) {
        const DWORD folder = GetFileAttributesW(cases.c_str());
        if (folder == INVALID_FILE_ATTRIBUTES || !(folder & FILE_ATTRIBUTE_DIRECTORY))
            return refuse(cases_,
                          L"Den Ordner der Fälle \u201E" + cases + L"\u201C gibt es nicht.");
        Win32CheckSystem files([] { return 0UL; });
        if (FindCases(cases, files.FileNames(cases)).empty())
            return refuse(cases_, L"Im Ordner der Fälle \u201E" + cases +
                                      L"\u201C liegt kein Fall (eine Seite NAME.html, .htm "
                                      L"oder .txt).");
        settings_.casesFolder = cases;
    }
    settings_.coverage = coverage_.Send(BM_GETCHECK) == BST_CHECKED;
    settings_.profile = true;
    return true;
}

void ExamineWindow::Start() {
    if (Running()) return;
    if (!ReadFields()) return;
    report_ = PluginReport{};
    report_.file = plugin_;
    failure_.clear();
    stop_ = false;
    stage_ = L"Lädt das Plugin \u2026";
    done_ = 0;
    Clear();
    ShowProgress();
    // Form1 waits: a run there would share the exchange file and the plugin.
    if (owner_) EnableWindow(owner_, FALSE);
    thread_ = CreateThread(nullptr, 0, Work, this, 0, nullptr);
    if (!thread_) {
        if (owner_) EnableWindow(owner_, TRUE);
        status_.SetText(L"Die Untersuchung kann nicht starten (kein Thread).");
        return;
    }
    EnableInput(false);
    stopButton_.Focus();
}

DWORD WINAPI ExamineWindow::Work(void* self) {
    auto& w = *static_cast<ExamineWindow*>(self);
    try {
        ExamineWaiting waiting(w.stop_);
        HostSession host(w.setup_.hostProgram, w.setup_.bridge, waiting);
        host.process.Launch();
        HostCheckSystem system(host, [&](double ms) { waiting.Limit(ms); });
        PluginCheck check(w.settings_, host.libraries, host.bridge, system, w.setup_.bridge);
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

}  // namespace dllscope
