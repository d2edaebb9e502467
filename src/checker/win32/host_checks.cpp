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

// A call in a plugin's host that runs past --timeout (or the shorter limit
// a hang's shrinking sets) ends that host.
class CheckWaiting : public HostWaiting {
  public:
    explicit CheckWaiting(const CheckOptions& options) : options_(options) {}
    DWORD HangMilliseconds() override {
        const DWORD full = static_cast<DWORD>(options_.timeoutSeconds) * 1000;
        return limit_ > 0 ? std::min(limit_, full) : full;
    }
    bool EndHungCall(const ForeignCall&, unsigned long long, HangSampling&) override {
        return true;
    }
    void Limit(double milliseconds) { limit_ = static_cast<DWORD>(milliseconds); }

  private:
    const CheckOptions& options_;
    DWORD limit_ = 0;
};

// A plugin's host with the capture of its output and its time limit.
struct HostSlot {
    std::unique_ptr<OutputCapture> output;
    std::unique_ptr<CheckWaiting> waiting;
    std::unique_ptr<HostSession> host;
};

// What every check in a host shares: the options, the host's program, the
// bridge and the time limit.
class Hosts {
  public:
    Hosts(const CheckOptions& options, const std::wstring& bridgePath)
        : options(options),
          bridgePath_(bridgePath),
          program_(InFolder(ProgramFolder(), kHostProgramName)) {
        if (GetFileAttributesW(program_.c_str()) == INVALID_FILE_ATTRIBUTES) {
            throw RuntimeError(L"Der Plugin-Prozess \u201E" + program_ +
                               L"\u201C fehlt: er gehört neben dllscope-check.exe (oder prüfe mit "
                               L"--in-process im Prozess der Prüfung).");
        }
    }

    HostSlot Start() {
        HostSlot slot{std::make_unique<OutputCapture>(), std::make_unique<CheckWaiting>(options),
                      nullptr};
        slot.host = std::make_unique<HostSession>(program_, bridgePath_, *slot.waiting);
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
        HostCheckSystem system(*slot.host, [&](double ms) { slot.waiting->Limit(ms); });
        PluginCheck check(options.settings, slot.host->libraries, slot.host->bridge, system,
                          bridgePath_);
        check.Check(FullPath(plugin), report);
    }

    const CheckOptions& options;

  private:
    std::wstring bridgePath_, program_;
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

// The checks under way on the workers, what they left for the session, and
// the hosts started for them. The session's thread starts the hosts while
// it waits for the next report: the workers only check.
struct Board {
    struct Done {
        PluginReport report;
        std::exception_ptr error;  // what ended the check early
        bool ready = false;
    };
    explicit Board(std::size_t plugins) : done(plugins) {}
    std::vector<Done> done;
    std::atomic<std::size_t> next{0};
    std::deque<HostSlot> hosts;  // started, for the next plugins taken
    std::size_t started = 0;     // hosts started so far, one for each plugin
    bool stopping = false;       // the check ended early: no further plugin is taken
    std::mutex lock;
    std::condition_variable changed;

    // A host for the plugin just taken (none when it could not be started:
    // the check starts one, or says why it cannot); false when stopping.
    bool TakeHost(HostSlot& slot) {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [this] { return stopping || !hosts.empty(); });
        if (stopping) return false;
        slot = std::move(hosts.front());
        hosts.pop_front();
        changed.notify_all();
        return true;
    }
};

void Work(Hosts& hosts, Board& board) {
    const std::vector<std::wstring>& plugins = hosts.options.plugins;
    for (std::size_t i; (i = board.next++) < plugins.size();) {
        Board::Done& d = board.done[i];
        d.report.file = plugins[i];
        d.report.warningsFail = hosts.options.strict;
        HostSlot slot;
        if (!board.TakeHost(slot)) return;
        try {
            hosts.Check(slot, plugins[i], d.report);
        } catch (...) {
            d.error = std::current_exception();
        }
        std::lock_guard<std::mutex> hold(board.lock);
        d.ready = true;
        board.changed.notify_all();
    }
}

// Waits for the report of plugin `i`, and meanwhile keeps `jobs` hosts
// started ahead for the plugins still to be taken.
void AwaitReport(Hosts& hosts, Board& board, std::size_t i, std::size_t jobs) {
    std::unique_lock<std::mutex> hold(board.lock);
    while (!board.done[i].ready) {
        if (board.hosts.size() < jobs && board.started < board.done.size()) {
            ++board.started;
            hold.unlock();
            HostSlot slot = hosts.StartAhead();
            hold.lock();
            board.hosts.push_back(std::move(slot));
            board.changed.notify_all();
            continue;
        }
        board.changed.wait(hold);
    }
}

// `jobs` workers, each checking the next plugin not yet taken; the reports
// go to the session in the order given. However this ends, the workers
// take no further plugin and are waited for.
void CheckSideBySide(Hosts& hosts, HostSlot first, CheckSession& session, std::size_t jobs) {
    const std::vector<std::wstring>& plugins = hosts.options.plugins;
    Board board(plugins.size());
    board.hosts.push_back(std::move(first));
    board.started = 1;
    struct Workers {
        Board& board;
        std::vector<std::thread> threads;
        ~Workers() {
            {
                std::lock_guard<std::mutex> hold(board.lock);
                board.stopping = true;
                board.next = board.done.size();
            }
            board.changed.notify_all();
            for (std::thread& t : threads) t.join();
        }
    } workers{board, {}};
    for (std::size_t j = 0; j < jobs; ++j)
        workers.threads.emplace_back(Work, std::ref(hosts), std::ref(board));
    for (std::size_t i = 0; i < plugins.size(); ++i) {
        session.Check(plugins[i], [&](PluginReport& report) {
            AwaitReport(hosts, board, i, jobs);
            std::lock_guard<std::mutex> hold(board.lock);
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
