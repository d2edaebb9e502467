#include "host/host_server.h"

#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "common/error_report.h"
#include "common/runtime_error.h"
#include "host/host_words.h"

namespace dllscope {
namespace {

std::string Failed(const MessageHead& head, const std::wstring& report) {
    return AnswerFrame(HostMessage::Failed, head, FailedAnswer{report});
}

// The bridge's answers carry its warnings about the plugin's stack.
template <class Answer, class = void>
struct CarriesStackWarnings : std::false_type {};
template <class Answer>
struct CarriesStackWarnings<Answer, std::void_t<decltype(std::declval<Answer&>().stackWarnings)>>
    : std::true_type {};

}  // namespace

std::string HostServer::HelloFrame(std::uint32_t processId, bool lane) {
    Hello hello;
    hello.processId = processId;
    hello.lane = lane;
    return WriteFrame({HostMessage::Hello, 0, {}}, hello, false);
}

// A failure or a fault of the call is answered as such; Quit is answered by
// nothing.
template <class Request>
std::string HostServer::Take(MessageReader& reader, const MessageHead& head, const char* kind) {
    if constexpr (std::is_same_v<Request, QuitRequest>) {
        return std::string();
    } else {
        try {
            Request request;
            if (!ReadFields(reader, request, platform_.Bulk()))
                return Failed(head,
                              L"Der Plugin-Prozess hat eine Anfrage erhalten, deren Felder "
                              L"nicht zu ihrer Art passen.");
            typename Request::Answer answer;
            Handle(request, answer, kind);
            if constexpr (CarriesStackWarnings<typename Request::Answer>::value)
                answer.stackWarnings = bridge_.TakeStackWarnings();
            if (const std::uint64_t size = FrameSize(answer, true) - 4; size > answerLimit_)
                return Failed(head, AnswerTooLargeReport(size, answerLimit_));
            return AnswerFrame(HostMessage::Done, head, answer, platform_.Bulk());
        } catch (const std::exception& e) {
            FaultedAnswer fault;
            if (platform_.AsFault(e, fault.fault))
                return AnswerFrame(HostMessage::Faulted, head, fault);
            return Failed(head, ErrorWords(e, L" im Plugin-Prozess"));
        }
    }
}

void HostServer::Handle(LoadRequest& q, LoadAnswer& a, const char*) {
    a.handle = libraries_.Load(q.path);
    if (!a.handle) a.error = static_cast<std::uint32_t>(platform_.LastLoadError());
}

void HostServer::Handle(FreeRequest& q, NoFields&, const char*) {
    libraries_.Free(static_cast<LibraryHandle>(q.handle));
}

void HostServer::Handle(BackvalueRequest& q, BackvalueAnswer& a, const char*) {
    a.code = static_cast<std::uint16_t>(bridge_.PluginBackvalue(q.path));
    a.path = q.path;
}

void HostServer::Handle(NameRequest& q, TextAnswer& a, const char*) {
    a.text = bridge_.PluginName(q.path);
    a.path = q.path;
}

void HostServer::Handle(DescriptionRequest& q, TextAnswer& a, const char*) {
    a.text = bridge_.PluginDescription(q.path);
    a.path = q.path;
}

void HostServer::Handle(WrapperNameRequest&, TextAnswer& a, const char*) {
    a.text = bridge_.WrapperName();
}

void HostServer::Handle(UsageRequest& q, UsageAnswer& a, const char*) {
    a.usage = platform_.Usage(q.remember);
}

void HostServer::Handle(NewHandleTypesRequest&, HandleTypesAnswer& a, const char*) {
    a.types = platform_.NewHandleTypes();
}

void HostServer::Handle(CoverRequest& q, CoverAnswer& a, const char*) {
    a.marked = platform_.Cover(q.section, q.module, q.alias);
}

std::string HostServer::Answer(const std::string& message) {
    MessageReader reader(message);
    MessageHead head;
    if (!ReadHead(reader, head))
        return Failed(head, L"Der Plugin-Prozess hat eine Anfrage ohne Kopf erhalten.");
    switch (head.kind) {
#define DLLSCOPE_HOST_SERVE(kind, message) \
    case HostMessage::kind:                \
        return Take<message>(reader, head, #kind);
        DLLSCOPE_HOST_REQUESTS(DLLSCOPE_HOST_SERVE)
#undef DLLSCOPE_HOST_SERVE
        default:
            return Failed(head, L"Der Plugin-Prozess kennt die Anfrage der Art " +
                                    std::to_wstring(static_cast<int>(head.kind)) + L" nicht.");
    }
}

HostEnd HostServer::Serve(ByteSource& in, ByteSink& out, std::uint32_t processId) {
    const std::string hello = HelloFrame(processId, platform_.Lane());
    if (!out.WriteAll(hello.data(), hello.size())) return HostEnd::LostPipe;
    FrameReader frames(in);
    std::string request;
    for (;;) {
        std::string answer;
        switch (frames.Next(kHostFrameLimit, request)) {
            case FrameRead::Complete:
                answer = Answer(request);
                std::string().swap(request);
                if (answer.empty()) return HostEnd::Quit;
                break;
            case FrameRead::Closed:
                return HostEnd::LostPipe;
            case FrameRead::Empty:
            case FrameRead::TooLong:
                // No frame to pass over: the stream is out of step.
                return HostEnd::BadRequest;
            case FrameRead::NoMemory:
                // The rest of the frame is passed over, and the request
                // refused; its number is unknown.
                if (!frames.SkipRest()) return HostEnd::LostPipe;
                answer = Failed({},
                                L"Der Plugin-Prozess hat keinen Speicher für eine Anfrage "
                                L"von " +
                                    std::to_wstring(frames.Announced()) + L" Bytes.");
                break;
        }
        platform_.BeforeAnswer();
        if (!out.WriteAll(answer.data(), answer.size())) return HostEnd::LostPipe;
    }
}

}  // namespace dllscope
