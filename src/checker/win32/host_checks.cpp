#include "checker/win32/host_checks.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "check/plugin_check.h"
#include "check/win32/check_system.h"
#include "checker/win32/output_capture.h"
#include "common/paths.h"
#include "common/runtime_error.h"
#include "common/win32/files.h"
#include "host/win32/host_session.h"

namespace dllscope {
namespace {

// A call in a plugin's host that runs past --timeout ends that host.
class CheckWaiting : public HostWaiting {
  public:
    explicit CheckWaiting(const CheckOptions& options) : options_(options) {}
    DWORD HangMilliseconds() override { return static_cast<DWORD>(options_.timeoutSeconds) * 1000; }
    bool EndHungCall(const ForeignCall&, unsigned long long, HangSampling&) override {
        return true;
    }

  private:
    const CheckOptions& options_;
};

// A plugin's host with the capture of its output.
struct HostSlot {
    std::unique_ptr<OutputCapture> output;
    std::unique_ptr<HostSession> host;
};

// What every check in a host shares: the options, the host's program, the
// bridge and the time limit.
class Hosts {
  public:
    Hosts(const CheckOptions& options, const std::wstring& bridgePath)
        : options(options),
          bridgePath_(bridgePath),
          program_(InFolder(ProgramFolder(), kHostProgramName)),
          waiting_(options) {
        if (GetFileAttributesW(program_.c_str()) == INVALID_FILE_ATTRIBUTES) {
            throw RuntimeError(L"Der Plugin-Prozess \u201E" + program_ +
                               L"\u201C fehlt: er gehört neben dllscope-check.exe (oder prüfe mit "
                               L"--in-process im Prozess der Prüfung).");
        }
    }

    HostSlot Start() {
        HostSlot slot{std::make_unique<OutputCapture>(),
                      std::make_unique<HostSession>(program_, bridgePath_, waiting_)};
        slot.host->process.SetOutput(slot.output->WriteEnd());
        slot.host->process.Launch();
        return slot;
    }
    // A host for the next plugin, started ahead; none when it cannot be
    // (that plugin's check starts one, or says why it cannot).
    HostSlot StartAhead() {
        try {
            return Start();
        } catch (const RuntimeError&) {
            return HostSlot{};
        }
    }

    // One plugin's check in `slot`'s host (a new one when it has none). The
    // host, and so every process the plugin started, ends with the check;
    // then its output is all there.
    void Check(HostSlot& slot, const std::wstring& plugin, PluginReport& report) {
        if (!slot.host) slot = Start();
        struct Collect {
            HostSlot& slot;
            PluginReport& report;
            ~Collect() {
                slot.host->process.Close();
                report.pluginOutput = slot.output->Finish();
            }
        } collect{slot, report};
        HostCheckSystem system(*slot.host);
        PluginCheck check(options.settings, slot.host->libraries, slot.host->bridge, system,
                          bridgePath_);
        check.Check(FullPath(plugin), report);
    }

    const CheckOptions& options;

  private:
    std::wstring bridgePath_, program_;
    CheckWaiting waiting_;
};

// One after another; the next plugins' hosts start while one is checked: a
// process's start costs more than most checks.
void CheckOneByOne(Hosts& hosts, HostSlot first, CheckSession& session) {
    const std::vector<std::wstring>& plugins = hosts.options.plugins;
    std::deque<HostSlot> ahead;
    ahead.push_back(std::move(first));
    constexpr std::size_t kAhead = 2;
    for (std::size_t i = 0; i < plugins.size(); ++i) {
        while (ahead.size() < kAhead && i + ahead.size() < plugins.size()) {
            HostSlot next = hosts.StartAhead();
            if (!next.host) break;
            ahead.push_back(std::move(next));
        }
        HostSlot slot = ahead.empty() ? HostSlot{} : std::move(ahead.front());
        if (!ahead.empty()) ahead.pop_front();
        session.Check(plugins[i],
                      [&](PluginReport& report) { hosts.Check(slot, plugins[i], report); });
    }
}

// The checks under way on the workers, and what they left for the session.
struct Board {
    struct Done {
        PluginReport report;
        std::exception_ptr error;  // what ended the check early
        bool ready = false;
    };
    explicit Board(std::size_t plugins) : done(plugins) {}
    std::vector<Done> done;
    std::atomic<std::size_t> next{0};
    std::mutex lock;
    std::condition_variable readied;
};

void Work(Hosts& hosts, Board& board, HostSlot spare) {
    const std::vector<std::wstring>& plugins = hosts.options.plugins;
    for (std::size_t i; (i = board.next++) < plugins.size();) {
        Board::Done& d = board.done[i];
        d.report.file = plugins[i];
        d.report.warningsFail = hosts.options.strict;
        try {
            HostSlot slot = std::move(spare);
            spare = board.next < plugins.size() ? hosts.StartAhead() : HostSlot{};
            hosts.Check(slot, plugins[i], d.report);
        } catch (...) {
            d.error = std::current_exception();
        }
        std::lock_guard<std::mutex> hold(board.lock);
        d.ready = true;
        board.readied.notify_all();
    }
}

// `jobs` workers, each checking the next plugin not yet taken; the reports
// go to the session in the order given. However this ends, the workers
// take no further plugin and are waited for.
void CheckSideBySide(Hosts& hosts, HostSlot first, CheckSession& session, std::size_t jobs) {
    const std::vector<std::wstring>& plugins = hosts.options.plugins;
    Board board(plugins.size());
    struct Workers {
        Board& board;
        std::vector<std::thread> threads;
        ~Workers() {
            board.next = board.done.size();
            for (std::thread& t : threads) t.join();
        }
    } workers{board, {}};
    for (std::size_t j = 0; j < jobs; ++j)
        workers.threads.emplace_back(Work, std::ref(hosts), std::ref(board),
                                     j == 0 ? std::move(first) : HostSlot{});
    for (std::size_t i = 0; i < plugins.size(); ++i) {
        session.Check(plugins[i], [&](PluginReport& report) {
            std::unique_lock<std::mutex> hold(board.lock);
            board.readied.wait(hold, [&] { return board.done[i].ready; });
            report = std::move(board.done[i].report);
            if (board.done[i].error) std::rethrow_exception(board.done[i].error);
        });
    }
}

std::size_t Cores() {
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    return std::max<std::size_t>(1, system.dwNumberOfProcessors);
}

}  // namespace

void CheckInHosts(const CheckOptions& options, const std::wstring& bridgePath,
                  CheckSession& session) {
    Hosts hosts(options, bridgePath);
    // The first host starts before the first plugin: a host that cannot be
    // started is a setup error.
    HostSlot first = hosts.Start();
    const std::size_t wanted = options.jobs == 0 ? Cores() : static_cast<std::size_t>(options.jobs);
    const std::size_t jobs = std::min(wanted, options.plugins.size());
    if (jobs <= 1) {
        CheckOneByOne(hosts, std::move(first), session);
    } else {
        CheckSideBySide(hosts, std::move(first), session, jobs);
    }
}

}  // namespace dllscope
