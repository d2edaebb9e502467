// The examination's thread: the plugin's check in its own host, followed by
// the window.
#include <algorithm>
#include <exception>

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
