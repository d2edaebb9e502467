#include "host/host_server.h"

#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>

#include "common/error_report.h"
#include "common/runtime_error.h"

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

// Reads a request of type Request, makes its call and frames the answer; a
// failure or a fault of the call is answered as such.
template <class Request, class Call>
std::string HostServer::Take(MessageReader& reader, const MessageHead& head, Call call) {
    try {
        Request request;
        if (!ReadFields(reader, request, platform_.Bulk()))
            return Failed(head,
                          L"Der Plugin-Prozess hat eine Anfrage erhalten, deren Felder "
                          L"nicht zu ihrer Art passen.");
        typename Request::Answer answer;
        call(request, answer);
        if constexpr (CarriesStackWarnings<typename Request::Answer>::value)
            answer.stackWarnings = bridge_.TakeStackWarnings();
        return AnswerFrame(HostMessage::Done, head, answer, platform_.Bulk());
    } catch (const std::exception& e) {
        FaultedAnswer fault;
        if (platform_.AsFault(e, fault.fault))
            return AnswerFrame(HostMessage::Faulted, head, fault);
        return Failed(head, ErrorWords(e, L" im Plugin-Prozess"));
    }
}

// PluginRun and the wrapper exports: the text's bytes as they came.
template <class Request>
std::string HostServer::TextExport(MessageReader& reader, const MessageHead& head,
                                   const char* exportName) {
    return Take<Request>(reader, head, [this, exportName](Request& q, BytesAnswer& a) {
        a.text = texts_.TextCall(exportName, q.text, q.path);
        a.path = q.path;
    });
}

std::string HostServer::Answer(const std::string& message) {
    MessageReader reader(message);
    MessageHead head;
    if (!ReadHead(reader, head))
        return Failed(head, L"Der Plugin-Prozess hat eine Anfrage ohne Kopf erhalten.");
    switch (head.kind) {
        case HostMessage::Load:
            return Take<LoadRequest>(reader, head, [this](LoadRequest& q, LoadAnswer& a) {
                a.handle = libraries_.Load(q.path);
                if (!a.handle) a.error = static_cast<std::uint32_t>(platform_.LastLoadError());
            });
        case HostMessage::Free:
            return Take<FreeRequest>(reader, head, [this](FreeRequest& q, NoFields&) {
                libraries_.Free(static_cast<LibraryHandle>(q.handle));
            });
        case HostMessage::PluginBackvalue:
            return Take<BackvalueRequest>(
                reader, head, [this](BackvalueRequest& q, BackvalueAnswer& a) {
                    a.code = static_cast<std::uint16_t>(bridge_.PluginBackvalue(q.path));
                    a.path = q.path;
                });
        case HostMessage::PluginName:
            return Take<NameRequest>(reader, head, [this](NameRequest& q, TextAnswer& a) {
                a.text = bridge_.PluginName(q.path);
                a.path = q.path;
            });
        case HostMessage::PluginDescription:
            return Take<DescriptionRequest>(reader, head,
                                            [this](DescriptionRequest& q, TextAnswer& a) {
                                                a.text = bridge_.PluginDescription(q.path);
                                                a.path = q.path;
                                            });
        case HostMessage::PluginRun:
            return TextExport<RunRequest>(reader, head, "PluginRun");
        case HostMessage::PluginWrappText:
            return TextExport<WrappTextRequest>(reader, head, "PluginWrappText");
        case HostMessage::PluginWrappForm:
            return TextExport<WrappFormRequest>(reader, head, "PluginWrappForm");
        case HostMessage::WrapperName:
            return Take<WrapperNameRequest>(
                reader, head,
                [this](WrapperNameRequest&, TextAnswer& a) { a.text = bridge_.WrapperName(); });
        case HostMessage::Usage:
            return Take<UsageRequest>(reader, head, [this](UsageRequest& q, UsageAnswer& a) {
                a.usage = platform_.Usage(q.remember);
            });
        case HostMessage::NewHandleTypes:
            return Take<NewHandleTypesRequest>(
                reader, head, [this](NewHandleTypesRequest&, HandleTypesAnswer& a) {
                    a.types = platform_.NewHandleTypes();
                });
        case HostMessage::Quit:
            return std::string();
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
