#pragma once
// The host's side: the answer to each request, made with the libraries and
// the bridge as the caller would make the calls itself, and the loop that
// serves a caller until it says Quit. The host's main wires the Win32 ones
// to it; the tests put recording fakes in their place.
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "host/frame_reader.h"
#include "host/host_messages.h"
#include "plugin/bridge.h"

namespace dllscope {

// What the host's process knows beyond the plugin's calls.
class HostPlatform {
  public:
    virtual ~HostPlatform() = default;
    // The system's error code of the last load that failed.
    virtual unsigned long LastLoadError() = 0;
    virtual ProcessUsage Usage(bool remember) = 0;
    virtual std::vector<std::wstring> NewHandleTypes() = 0;
    // A fault the guard landed, as report and parts; false for any other error.
    virtual bool AsFault(const std::exception& error, FaultRecord& fault) = 0;
    // Before each answer: what the plugin printed goes out first, since the
    // caller may end the host as soon as it has the answer.
    virtual void BeforeAnswer() {}
    // Where large bytes go; none: everything crosses the pipe.
    virtual BulkChannel* Bulk() { return nullptr; }
    // Whether the messages after the greeting take a lane of their own.
    virtual bool Lane() { return false; }
    // Marks the lines listed in `section` in the module `module` (or
    // `alias`) on every load: the marks set at once. Throws where it cannot.
    virtual unsigned Cover(const std::wstring& section, const std::wstring& module,
                           const std::wstring& alias) = 0;
};

// The other way: one end's writing, all of it; false when the stream closed.
class ByteSink {
  public:
    virtual ~ByteSink() = default;
    virtual bool WriteAll(const char* data, std::size_t size) = 0;
};

// How serving ended; the host's exit code says it.
enum class HostEnd { Quit, LostPipe, BadRequest };

class HostServer {
  public:
    // An answer over `answerLimit` bytes (the caller's limit) is not sent:
    // the request is answered Failed, saying why.
    HostServer(Libraries& libraries, Bridge& bridge, TextExports& texts, HostPlatform& platform,
               std::uint32_t answerLimit = kHostFrameLimit)
        : libraries_(libraries),
          bridge_(bridge),
          texts_(texts),
          platform_(platform),
          answerLimit_(answerLimit) {}

    // The greeting a host sends once it runs.
    static std::string HelloFrame(std::uint32_t processId, bool lane = false);
    // The frame answering one request (given without its length), or the
    // empty string for Quit. A request the host cannot read is answered Failed.
    std::string Answer(const std::string& request);
    // Greets, then answers until Quit or until the stream breaks.
    HostEnd Serve(ByteSource& in, ByteSink& out, std::uint32_t processId);

  private:
    // Reads a request of its kind (`kind` its name), makes its call and frames the answer.
    template <class Request>
    std::string Take(MessageReader& reader, const MessageHead& head, const char* kind);

    // Each request's call, one for each kind of the request list.
    void Handle(LoadRequest& q, LoadAnswer& a, const char*);
    void Handle(FreeRequest& q, NoFields& a, const char*);
    void Handle(BackvalueRequest& q, BackvalueAnswer& a, const char*);
    void Handle(NameRequest& q, TextAnswer& a, const char*);
    void Handle(DescriptionRequest& q, TextAnswer& a, const char*);
    // PluginRun and the wrapper exports (`kind` names the export): the text's bytes as they came.
    template <HostMessage K>
    void Handle(TextRequest<K>& q, BytesAnswer& a, const char* kind) {
        a.text = texts_.TextCall(kind, q.text, q.path);
        a.path = q.path;
    }
    void Handle(WrapperNameRequest& q, TextAnswer& a, const char*);
    void Handle(UsageRequest& q, UsageAnswer& a, const char*);
    void Handle(NewHandleTypesRequest& q, HandleTypesAnswer& a, const char*);
    void Handle(CoverRequest& q, CoverAnswer& a, const char*);

    Libraries& libraries_;
    Bridge& bridge_;
    TextExports& texts_;
    HostPlatform& platform_;
    std::uint32_t answerLimit_;
};

}  // namespace dllscope
