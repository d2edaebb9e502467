#pragma once
// The caller's side of dllscope-host.exe, the process of a plugin's own: it
// starts the host, connects to its pipe and waits for it as HostWaiting
// says. The requests and answers are HostClient's; a plugin that ends that
// process, crashes it or does not answer costs the host, never the caller.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/host_client.h"
#include "common/win32/temp_folder.h"
#include "host/win32/mailbox.h"
#include "guard/foreign_call.h"
#include "sampling/code_samples.h"

namespace dllscope {

// What the caller does while it waits for an answer.
class HostWaiting {
  public:
    virtual ~HostWaiting() = default;
    // Before each request: Dllscope saves the pane's text, as before a call
    // in its own process.
    virtual void BeforeCall(const ForeignCall&) {}
    // How long a call may run before EndHungCall is asked.
    virtual DWORD HangMilliseconds() = 0;
    // The call has run `milliseconds`: true ends the host, false waits
    // another HangMilliseconds. `hang` samples where it runs when asked.
    virtual bool EndHungCall(const ForeignCall& call, unsigned long long milliseconds,
                             HangSampling& hang) = 0;
    // Whether the caller's windows repaint while it waits.
    virtual bool Repaints() { return false; }
};

// Texts to and from a plugin in its host: the ANSI code page, converted as
// the bridge converts them in this process.
class AnsiTextCodec : public PluginTextCodec {
  public:
    std::string ToPlugin(const std::wstring& text) override;
    std::wstring FromPlugin(const ForeignCall& call, const std::string& bytes) override;
};

class PluginHost : public HostConnection, private BulkChannel {
  public:
    // `program` is dllscope-host.exe; `bridge` the bridge as LoadLibraryA takes it.
    PluginHost(std::wstring program, std::wstring bridge, HostWaiting& waiting)
        : program_(std::move(program)), bridge_(std::move(bridge)), waiting_(waiting) {}
    ~PluginHost() override { Close(); }
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Starts a host, if none runs, without waiting for it: the next request
    // waits. A caller that knows it will need one starts it early.
    void Launch();
    // Where the hosts started from now on write their standard output and
    // error (and so the plugin and the processes it starts); without it they
    // get none. The handle stays the caller's.
    void SetOutput(HANDLE output) { output_ = output; }
    // The programs of the processes the plugin started that still run. They
    // belong to the host: they end when it ends.
    std::vector<std::wstring> StrayProcesses() const;
    // The host's process and the thread that runs the plugin's calls (null
    // while none runs), for samples of where it runs.
    HANDLE ProcessHandle() const { return process_; }
    HANDLE MainThread() const { return thread_; }

    void Open() override;
    bool IsOpen() const override { return connected_; }
    unsigned long ProcessId() const override { return processId_; }
    std::wstring Program() const override;
    // The host's own temporary folder (its TEMP and TMP); empty before its
    // start, or when it has none.
    std::wstring TempFolder() const { return temp_ ? temp_->Path() : std::wstring(); }
    void SetCall(const ForeignCall& call) override;
    std::size_t ReadSome(char* to, std::size_t max) override;
    void WriteAll(const char* data, std::size_t size) override;
    void Close() override;
    BulkChannel* Bulk() override { return this; }
    void Greeted(bool lane) override;

  private:
    // Large bytes through sections: a request's section is handed into the
    // host, an answer's taken out of it.
    bool Put(const std::string& bytes, std::uint64_t& token) override;
    bool Take(std::uint64_t token, std::uint32_t size, std::string& bytes) override;

    void Connect();
    DWORD Await(OVERLAPPED& o);
    bool WaitFor(HANDLE event, OVERLAPPED* pending);
    std::wstring OpenLane();
    void CloseLane();
    void Release();
    [[noreturn]] void Ended();
    [[noreturn]] void Damaged();

    std::wstring program_, bridge_;
    HostWaiting& waiting_;
    HANDLE pipe_ = nullptr, process_ = nullptr, thread_ = nullptr, event_ = nullptr;
    HANDLE job_ = nullptr;     // the host and what it starts, ended with it
    HANDLE output_ = nullptr;  // SetOutput's
    // The fast lane: made before each host starts, taken once it greets.
    HANDLE laneSection_ = nullptr, hostEvent_ = nullptr, callerEvent_ = nullptr;
    void* laneView_ = nullptr;
    std::optional<Mailbox> lane_;
    std::unique_ptr<PrivateTempFolder> temp_;  // the host's TEMP and TMP
    ForeignCall call_ = ForeignCall::Load(L"Der Plugin-Prozess", kHostProgramName, L"Start");
    ULONGLONG since_ = 0;  // when the call under way began, or its last wait was granted
    ULONGLONG began_ = 0;  // when the call under way began
    DWORD processId_ = 0;
    bool connected_ = false;
};

}  // namespace dllscope
