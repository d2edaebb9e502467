#pragma once
// The caller's side of a plugin's host: each call of the plugin cycle
// becomes a request, each answer is checked against the request it answers
// before its fields are believed. The connection (the Win32 process and its
// pipe, or a test's channel) sits behind HostConnection.
#include <cstdint>
#include <exception>
#include <map>
#include <string>

#include "host/frame_reader.h"
#include "host/host_errors.h"
#include "host/host_messages.h"
#include "plugin/bridge.h"
#include "plugin/stack_note.h"
#include "guard/foreign_call.h"

namespace dllscope {

class HostConnection : public ByteSource {
  public:
    // Starts a host, when none runs, and connects to it.
    virtual void Open() = 0;
    // Connected to a host.
    virtual bool IsOpen() const = 0;
    // The process that was started, and the program's name for the words.
    virtual unsigned long ProcessId() const = 0;
    virtual std::wstring Program() const = 0;
    // The call under way: what the waits name when the host ends or hangs.
    virtual void SetCall(const ForeignCall& call) = 0;
    // ReadSome (at least one byte) and WriteAll throw PluginProcessEnded or
    // PluginProcessHung when the host ends or is ended meanwhile; then it is
    // closed. ReadSome gives 0 only for a stream that closed while the
    // process goes on.
    virtual void WriteAll(const char* data, std::size_t size) = 0;
    // Ends the host, if one runs: it is asked to quit, and ended when it
    // does not.
    virtual void Close() = 0;
    // Where large bytes go; none: everything crosses the pipe.
    virtual BulkChannel* Bulk() { return nullptr; }
    // The host greeted; `lane`: what follows takes the lane it opened.
    virtual void Greeted(bool /*lane*/) {}
};

class HostClient {
  public:
    // `limit`: the largest message either way, the host's by default.
    explicit HostClient(HostConnection& connection, std::uint32_t limit = kHostFrameLimit)
        : connection_(connection), frames_(connection), limit_(limit) {}

    // Sends `request` as the call `call`, starting a host when none runs,
    // and gives the answer. A fault, a failure, the host's end or a hang
    // throws (PluginProcessFault, RuntimeError, PluginProcessEnded,
    // PluginProcessHung); after anything but a plain answer the host is
    // ended, and the next request starts a new one.
    template <class Request>
    typename Request::Answer Ask(const Request& request, const ForeignCall& call) {
        typename Request::Answer answer;
        Busy busy(*this, call);
        Prepare(FrameSize(request, false), call);
        const std::string message =
            Finish(RequestFrame(request, ++lastId_, connection_.Bulk()), Request::kKind, call);
        MessageReader reader(message);
        MessageHead head;
        ReadHead(reader, head);
        bool complete = false;
        try {
            // Bytes through a section count against the limit as a frame's do.
            complete = ReadFields(reader, answer, connection_.Bulk(), limit_);
        } catch (const std::exception&) {  // bad_alloc, length_error: no room for it
            Refuse(call, L"für ihren Umfang reicht der Speicher nicht");
        }
        if (!complete) Refuse(call, L"ihre Felder passen nicht zur Anfrage");
        return answer;
    }

    // Ends the host, if one runs and no answer is awaited.
    void End();
    // The library the host loaded last: the host's calls of its own (the
    // usage) are said as that plugin's.
    ForeignCall OwnCall(const wchar_t* what) const;
    void NoteLoaded(const std::wstring& fileName) { loaded_ = fileName; }
    // Which host answers: a number that changes each time one is ended.
    std::uint64_t Generation() const { return generation_; }

  private:
    struct Busy {
        Busy(HostClient& client, const ForeignCall& call);
        ~Busy() { flag = false; }
        bool& flag;
    };

    // Refuses a request too large, starts and greets a host when none runs.
    void Prepare(std::uint64_t size, const ForeignCall& call);
    // Sends the frame and gives the answer to it, when it is Done.
    std::string Finish(std::string frame, HostMessage kind, const ForeignCall& call);
    void Greet(const ForeignCall& call);
    // Ends the host, if one runs, and forgets what came from it.
    void Restart();
    std::string Receive(std::uint32_t limit, const ForeignCall& call);
    [[noreturn]] void Refuse(const ForeignCall& call, const std::wstring& why);

    HostConnection& connection_;
    FrameReader frames_;
    bool busy_ = false;
    std::uint32_t limit_;
    std::uint32_t lastId_ = 0;
    std::uint64_t generation_ = 0;
    std::wstring loaded_;
};

// LoadLibrary and FreeLibrary in the host.
class HostLibraries : public Libraries {
  public:
    explicit HostLibraries(HostClient& host) : host_(host) {}
    LibraryHandle Load(const std::wstring& path) override;
    void Free(LibraryHandle handle) override;
    // The system's error code of the last load that failed.
    unsigned long LastLoadError() const { return lastLoadError_; }

  private:
    HostClient& host_;
    unsigned long lastLoadError_ = 0;
    struct Loaded {
        std::wstring name;
        std::uint64_t host = 0;  // the generation of the host that loaded it
    };
    std::map<LibraryHandle, Loaded> loaded_;
};

// How a text becomes what the plugin sees and back: on Windows the ANSI
// code page, converted as the bridge in the caller's own process converts.
class PluginTextCodec {
  public:
    virtual ~PluginTextCodec() = default;
    virtual std::string ToPlugin(const std::wstring& text) = 0;
    // A result too large for the memory left throws its words for `call`.
    virtual std::wstring FromPlugin(const ForeignCall& call, const std::string& bytes) = 0;
};

// The bridge's exports, called in the host. Texts cross as the plugin sees
// them, converted here.
class HostBridge : public Bridge {
  public:
    HostBridge(HostClient& host, PluginTextCodec& codec, std::wstring bridge = kBridgeFileName)
        : host_(host), codec_(codec), bridge_(std::move(bridge)) {}
    std::int16_t PluginBackvalue(std::wstring& pluginPath) override;
    std::wstring PluginName(std::wstring& pluginPath) override;
    std::wstring PluginDescription(std::wstring& pluginPath) override;
    std::wstring PluginRun(const std::wstring& text, std::wstring& pluginPath) override;
    std::wstring WrapperName() override;
    std::wstring PluginWrappText(const std::wstring& text, std::wstring& pluginPath) override;
    std::wstring PluginWrappForm(const std::wstring& text, std::wstring& pluginPath) override;
    std::vector<std::wstring> TakeStackWarnings() override { return stackWarnings_.Take(); }

  private:
    // The host's answer to a bridge call, whose warnings are kept.
    template <class Request>
    typename Request::Answer Ask(const Request& request, const ForeignCall& call) {
        typename Request::Answer answer = host_.Ask(request, call);
        stackWarnings_.Add(answer.stackWarnings);
        return answer;
    }
    template <class Request>
    std::wstring Call(const wchar_t* name, Request request, std::wstring& pluginPath);
    template <class Request>
    std::wstring TextCall(const wchar_t* name, const std::wstring& text, std::wstring& pluginPath);

    HostClient& host_;
    PluginTextCodec& codec_;
    std::wstring bridge_;
    StackWarnings stackWarnings_;
};

// What the host holds, as the leak check measures it.
ProcessUsage HostUsage(HostClient& host, bool remember);
// Marks the lines of the module `module` (`alias`: its short name) that the
// section named `section` lists (coverage_marks.h): the marks set at once.
unsigned HostCover(HostClient& host, const std::wstring& section, const std::wstring& module,
                   const std::wstring& alias);
std::vector<std::wstring> HostNewHandleTypes(HostClient& host);

}  // namespace dllscope
