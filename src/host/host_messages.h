#pragma once
// Every message between a plugin's host and its caller, each defined once:
// its kind and its fields, in order. Both ends write and read them through
// the same definition.
//
// A request: kind, its number (4 bytes), its fields. An answer: Done,
// Failed or Faulted, the number and kind of the request it answers, then
// the request's answer fields (Done), the report (Failed), or the fault's
// parts (Faulted). The greeting: Hello, 0, the version, the host's
// process id and whether what follows takes the fast lane.
#include <cstdint>
#include <string>
#include <vector>

#include "host/host_frames.h"
#include "host/host_protocol.h"
#include "host/process_usage.h"
#include "guard/fault_record.h"

namespace dllscope {

// The fields of a message, one call of `f` each: writing and reading walk
// the same list.
struct NoFields {
    template <class F>
    void Fields(F&) {}
};

struct Hello {
    static constexpr HostMessage kKind = HostMessage::Hello;
    std::uint32_t version = kHostProtocolVersion;
    std::uint32_t processId = 0;
    bool lane = false;  // it opened the caller's fast lane: all else goes there
    template <class F>
    void Fields(F& f) {
        f(version), f(processId), f(lane);
    }
};

struct LoadAnswer {
    std::uint64_t handle = 0;  // zero: the load failed,
    std::uint32_t error = 0;   // with the system's error code
    template <class F>
    void Fields(F& f) {
        f(handle), f(error);
    }
};

struct LoadRequest {
    static constexpr HostMessage kKind = HostMessage::Load;
    using Answer = LoadAnswer;
    std::wstring path;
    template <class F>
    void Fields(F& f) {
        f(path);
    }
};

struct FreeRequest {
    static constexpr HostMessage kKind = HostMessage::Free;
    using Answer = NoFields;
    std::uint64_t handle = 0;
    template <class F>
    void Fields(F& f) {
        f(handle);
    }
};

// The bridge's answers: the result, the plugin path as the bridge left it
// and the bridge's warnings about the plugin's stack (Bridge::TakeStackWarnings).
struct BackvalueAnswer {
    std::uint16_t code = 0;
    std::wstring path;
    std::vector<std::wstring> stackWarnings;
    template <class F>
    void Fields(F& f) {
        f(code), f(path), f(stackWarnings);
    }
};

struct TextAnswer {
    std::wstring text, path;
    std::vector<std::wstring> stackWarnings;
    template <class F>
    void Fields(F& f) {
        f(text), f(path), f(stackWarnings);
    }
};

// PluginBackvalue, PluginName, PluginDescription: the plugin path.
template <HostMessage K, class A>
struct PathRequest {
    static constexpr HostMessage kKind = K;
    using Answer = A;
    std::wstring path;
    template <class F>
    void Fields(F& f) {
        f(path);
    }
};
using BackvalueRequest = PathRequest<HostMessage::PluginBackvalue, BackvalueAnswer>;
using NameRequest = PathRequest<HostMessage::PluginName, TextAnswer>;
using DescriptionRequest = PathRequest<HostMessage::PluginDescription, TextAnswer>;

// The text exports' answer: the result's bytes as the plugin returned them.
struct BytesAnswer {
    std::string text;
    std::wstring path;
    std::vector<std::wstring> stackWarnings;
    template <class F>
    void Fields(F& f) {
        f(text), f(path), f(stackWarnings);
    }
};

// PluginRun, PluginWrappText, PluginWrappForm: the text as the plugin sees
// it (the ANSI code page's bytes) and the plugin path.
template <HostMessage K>
struct TextRequest {
    static constexpr HostMessage kKind = K;
    using Answer = BytesAnswer;
    std::string text;
    std::wstring path;
    template <class F>
    void Fields(F& f) {
        f(text), f(path);
    }
};
using RunRequest = TextRequest<HostMessage::PluginRun>;
using WrappTextRequest = TextRequest<HostMessage::PluginWrappText>;
using WrappFormRequest = TextRequest<HostMessage::PluginWrappForm>;

struct WrapperNameRequest : NoFields {
    static constexpr HostMessage kKind = HostMessage::WrapperName;
    using Answer = TextAnswer;  // the path stays empty
};

struct UsageAnswer {
    ProcessUsage usage;
    template <class F>
    void Fields(F& f) {
        f(usage.handles), f(usage.privateBytes), f(usage.freeTlsSlots), f(usage.peakBytes),
            f(usage.heapBytes), f(usage.heaps);
    }
};

// What the host holds now; `remember` keeps its handles for NewHandleTypes.
struct UsageRequest {
    static constexpr HostMessage kKind = HostMessage::Usage;
    using Answer = UsageAnswer;
    bool remember = false;
    template <class F>
    void Fields(F& f) {
        f(remember);
    }
};

struct HandleTypesAnswer {
    std::vector<std::wstring> types;
    template <class F>
    void Fields(F& f) {
        f(types);
    }
};

struct NewHandleTypesRequest : NoFields {
    static constexpr HostMessage kKind = HostMessage::NewHandleTypes;
    using Answer = HandleTypesAnswer;
};

struct CoverAnswer {
    std::uint32_t marked = 0;  // the marks set at once (the plugin was loaded)
    template <class F>
    void Fields(F& f) {
        f(marked);
    }
};

// Marks the lines listed in the section named `section` (coverage_marks.h)
// in the module `module` (a file name; `alias`: its short name), on every
// load of it from now on.
struct CoverRequest {
    static constexpr HostMessage kKind = HostMessage::Cover;
    using Answer = CoverAnswer;
    std::wstring section, module, alias;
    template <class F>
    void Fields(F& f) {
        f(section), f(module), f(alias);
    }
};

struct QuitRequest : NoFields {
    static constexpr HostMessage kKind = HostMessage::Quit;
};

// A failure the host reports in words (a RuntimeError's).
struct FailedAnswer {
    std::wstring report;
    template <class F>
    void Fields(F& f) {
        f(report);
    }
};

// A fault the host's guard landed: its report as the guard words it, and its parts.
struct FaultedAnswer {
    FaultRecord fault;
    template <class F>
    void Fields(F& f) {
        f(fault.message), f(fault.call), f(fault.kind), f(fault.code), f(fault.where),
            f(fault.place), f(fault.stack);
    }
};

}  // namespace dllscope
