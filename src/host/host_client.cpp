#include "host/host_client.h"

#include "common/paths.h"
#include "common/runtime_error.h"
#include "host/host_words.h"

namespace dllscope {
namespace {

const wchar_t* FrameReadWords(FrameRead read) {
    switch (read) {
        case FrameRead::Empty:
            return L"eine Nachricht der Länge null";
        case FrameRead::TooLong:
            return L"länger als erlaubt";
        default:
            return L"unvollständig";
    }
}

ForeignCall PluginCall(const std::wstring& pluginPath, const wchar_t* name) {
    return ForeignCall::Export(L"Das Plugin", FileNameOf(pluginPath), name);
}

}  // namespace

HostClient::Busy::Busy(HostClient& client, const ForeignCall& call) : flag(client.busy_) {
    // While an answer is awaited, messages sent from elsewhere still reach
    // the caller's windows; a command they start must not cut in.
    if (flag) {
        throw RuntimeError(L"Dllscope wartet noch auf die Antwort des Plugin-Prozesses; \u201E" +
                           call.call + L"\u201C wurde nicht aufgerufen.");
    }
    flag = true;
}

void HostClient::End() {
    if (!busy_) Restart();
}

void HostClient::Restart() {
    ++generation_;
    connection_.Close();
    frames_.Reset();
}

ForeignCall HostClient::OwnCall(const wchar_t* what) const {
    return ForeignCall::Method(L"Der Plugin-Prozess",
                               loaded_.empty() ? connection_.Program() : loaded_, what);
}

[[noreturn]] void HostClient::Refuse(const ForeignCall& call, const std::wstring& why) {
    Restart();
    throw RuntimeError(MalformedAnswerReport(call, why));
}

// The next message from the host. Whatever leaves a frame half read ends
// the host: the next request starts a new one.
std::string HostClient::Receive(std::uint32_t limit, const ForeignCall& call) {
    std::string message;
    FrameRead read = FrameRead::Closed;
    try {
        read = frames_.Next(limit, message);
    } catch (...) {  // the host ended or hung: the connection is closed
        Restart();
        throw;
    }
    switch (read) {
        case FrameRead::Complete:
            return message;
        case FrameRead::Closed:
            Restart();
            throw PluginProcessEnded(LostConnectionReport(call), 0);
        case FrameRead::NoMemory:
            Refuse(call, L"für die angekündigten " + std::to_wstring(frames_.Announced()) +
                             L" Bytes reicht der Speicher nicht");
        default:
            Refuse(call, FrameReadWords(read));
    }
}

void HostClient::Greet(const ForeignCall& call) {
    const std::string message = Receive(64, call);
    MessageReader reader(message);
    MessageHead head;
    Hello hello;
    if (!ReadHead(reader, head) || head.kind != HostMessage::Hello) Refuse(call, L"kein Gruß");
    // The version first: a host of another version may greet otherwise.
    const bool complete = ReadFields(reader, hello);
    if (hello.version != kHostProtocolVersion) {
        Restart();
        throw RuntimeError(
            OtherVersionReport(connection_.Program(), hello.version, kHostProtocolVersion));
    }
    if (!complete) Refuse(call, L"ein unvollständiger Gruß");
    if (hello.processId != connection_.ProcessId()) {
        const unsigned long started = connection_.ProcessId();
        Restart();
        throw RuntimeError(OtherProcessReport(connection_.Program(), started, hello.processId));
    }
    connection_.Greeted(hello.lane);
}

void HostClient::Prepare(std::uint64_t size, const ForeignCall& call) {
    if (size - 4 > limit_) throw RuntimeError(TooLargeReport(call, size - 4, limit_));
    // A host that fails its greeting is closed again: open means greeted.
    const bool fresh = !connection_.IsOpen();
    if (fresh) {
        frames_.Reset();
        connection_.Open();
    }
    connection_.SetCall(call);
    if (fresh) Greet(call);
}

std::string HostClient::Finish(std::string frame, HostMessage kind, const ForeignCall& call) {
    try {
        connection_.WriteAll(frame.data(), frame.size());
    } catch (...) {
        Restart();
        throw;
    }
    std::string().swap(frame);
    std::string message = Receive(limit_, call);
    MessageReader reader(message);
    MessageHead head;
    if (!ReadHead(reader, head)) Refuse(call, L"ohne Kopf");
    if (!IsAnswer(head.kind)) Refuse(call, L"keine Antwort");
    if (head.id != lastId_ || head.answers != kind)
        Refuse(call, L"die Antwort auf eine andere Anfrage");
    switch (head.kind) {
        // After a failure or a fault the host may hold what the plugin left
        // behind (a lock, a wrecked heap): the next request gets a new one.
        case HostMessage::Failed: {
            FailedAnswer failed;
            if (!ReadFields(reader, failed)) Refuse(call, L"ein unvollständiger Fehlerbericht");
            Restart();
            throw RuntimeError(HostReport(call, failed.report));
        }
        case HostMessage::Faulted: {
            FaultedAnswer fault;
            if (!ReadFields(reader, fault)) Refuse(call, L"ein unvollständiger Absturzbericht");
            Restart();
            fault.fault.message = HostReport(call, fault.fault.message);
            throw PluginProcessFault(std::move(fault.fault));
        }
        default:
            return message;
    }
}

LibraryHandle HostLibraries::Load(const std::wstring& path) {
    const LoadAnswer answer =
        host_.Ask(LoadRequest{path}, ForeignCall::Load(L"Die Bibliothek", FileNameOf(path)));
    const auto handle = static_cast<LibraryHandle>(answer.handle);
    if (!handle) lastLoadError_ = answer.error;
    if (handle) {
        loaded_[handle] = Loaded{FileNameOf(path), host_.Generation()};
        host_.NoteLoaded(FileNameOf(path));
    }
    return handle;
}

// A handle of a host that has ended since is gone with it: freeing it
// would start a new host only to hand it an address it never gave.
void HostLibraries::Free(LibraryHandle handle) {
    const auto held = loaded_.find(handle);
    std::wstring file;
    if (held != loaded_.end()) {
        const bool gone = held->second.host != host_.Generation();
        file = held->second.name;
        loaded_.erase(held);
        if (gone) return;
    }
    host_.Ask(FreeRequest{handle}, ForeignCall::Free(L"Die Bibliothek", file));
}

template <class Request>
std::wstring HostBridge::Call(const wchar_t* name, Request request, std::wstring& pluginPath) {
    TextAnswer answer = Ask(request, PluginCall(pluginPath, name));
    pluginPath = std::move(answer.path);
    return std::move(answer.text);
}

std::int16_t HostBridge::PluginBackvalue(std::wstring& pluginPath) {
    BackvalueAnswer answer =
        Ask(BackvalueRequest{pluginPath}, PluginCall(pluginPath, L"PluginBackvalue"));
    pluginPath = std::move(answer.path);
    return static_cast<std::int16_t>(answer.code);
}

std::wstring HostBridge::PluginName(std::wstring& pluginPath) {
    return Call(L"PluginName", NameRequest{pluginPath}, pluginPath);
}
std::wstring HostBridge::PluginDescription(std::wstring& pluginPath) {
    return Call(L"PluginDescription", DescriptionRequest{pluginPath}, pluginPath);
}
template <class Request>
std::wstring HostBridge::TextCall(const wchar_t* name, const std::wstring& text,
                                  std::wstring& pluginPath) {
    const ForeignCall call = PluginCall(pluginPath, name);
    Request request{codec_.ToPlugin(text), pluginPath};
    BytesAnswer answer = Ask(request, call);
    std::string().swap(request.text);
    pluginPath = std::move(answer.path);
    return codec_.FromPlugin(call, answer.text);
}

std::wstring HostBridge::PluginRun(const std::wstring& text, std::wstring& pluginPath) {
    return TextCall<RunRequest>(L"PluginRun", text, pluginPath);
}
std::wstring HostBridge::PluginWrappText(const std::wstring& text, std::wstring& pluginPath) {
    return TextCall<WrappTextRequest>(L"PluginWrappText", text, pluginPath);
}
std::wstring HostBridge::PluginWrappForm(const std::wstring& text, std::wstring& pluginPath) {
    return TextCall<WrappFormRequest>(L"PluginWrappForm", text, pluginPath);
}

std::wstring HostBridge::WrapperName() {
    return host_
        .Ask(WrapperNameRequest{},
             ForeignCall::Export(L"Die Brücke", FileNameOf(bridge_), L"WrapperName"))
        .text;
}

ProcessUsage HostUsage(HostClient& host, bool remember) {
    return host.Ask(UsageRequest{remember}, host.OwnCall(L"der Verbrauchsmessung")).usage;
}

unsigned HostCover(HostClient& host, const std::wstring& section, const std::wstring& module,
                   const std::wstring& alias) {
    return host.Ask(CoverRequest{section, module, alias}, host.OwnCall(L"der Zeilenabdeckung"))
        .marked;
}

std::vector<std::wstring> HostNewHandleTypes(HostClient& host) {
    return host.Ask(NewHandleTypesRequest{}, host.OwnCall(L"der Verbrauchsmessung")).types;
}

}  // namespace dllscope
