#pragma once
// What Dllscope and the checker say to dllscope-host.exe, the process that
// makes a plugin's calls for them, and what it answers: the wire's bytes.
// A message is a frame: its length (4 bytes, little-endian), then that many
// bytes: the kind (1 byte) and its fields. Numbers are little-endian, a text
// is its length in UTF-16 units (4 bytes) and the units. Every reader is
// bounded: a field running past the end of its frame, or bytes left over,
// make the message malformed. The messages themselves are host_messages.h.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

namespace dllscope {

// Every request, once: its kind and the message that carries it
// (host_messages.h). The kinds, the host's dispatch (a kind without a
// handler does not compile) and the protocol's fingerprint come from this
// list. A new request goes at its end, with a new row in kHostProtocolVersions.
#define DLLSCOPE_HOST_REQUESTS(X)            \
    X(Load, LoadRequest)                     \
    X(Free, FreeRequest)                     \
    X(PluginBackvalue, BackvalueRequest)     \
    X(PluginName, NameRequest)               \
    X(PluginDescription, DescriptionRequest) \
    X(PluginRun, RunRequest)                 \
    X(WrapperName, WrapperNameRequest)       \
    X(PluginWrappText, WrappTextRequest)     \
    X(PluginWrappForm, WrappFormRequest)     \
    X(Usage, UsageRequest)                   \
    X(NewHandleTypes, NewHandleTypesRequest) \
    X(Quit, QuitRequest)                     \
    X(Cover, CoverRequest)

// FNV-1a of a text.
constexpr std::uint32_t Fingerprint(const char* text) {
    std::uint32_t hash = 2166136261u;
    for (; *text; ++text) hash = (hash ^ static_cast<unsigned char>(*text)) * 16777619u;
    return hash;
}

// The request list's fingerprint: each kind with its message, in order.
#define DLLSCOPE_HOST_REQUEST_TEXT(kind, message) #kind ":" #message ";"
inline constexpr std::uint32_t kHostRequestsFingerprint =
    Fingerprint(DLLSCOPE_HOST_REQUESTS(DLLSCOPE_HOST_REQUEST_TEXT));
#undef DLLSCOPE_HOST_REQUEST_TEXT

// Each version of the protocol with the fingerprint of its request list,
// oldest first; the host answers its start with the last version. A changed
// list does not build until it has a row of its own with a higher version.
// A change of an answer's fields raises the version of the last row (4: a
// fault's answer carries its stack; 5: the lines a plugin's runs reach).
struct HostProtocolVersion {
    std::uint32_t version, fingerprint;
};
inline constexpr HostProtocolVersion kHostProtocolVersions[] = {{4, 0x317596A1u}, {5, 0x96ED7E57u}};
inline constexpr std::uint32_t kHostProtocolVersion = std::end(kHostProtocolVersions)[-1].version;

constexpr bool VersionsRise() {
    for (std::size_t i = 1; i < std::size(kHostProtocolVersions); ++i) {
        if (kHostProtocolVersions[i].version <= kHostProtocolVersions[i - 1].version) return false;
        for (std::size_t j = 0; j < i; ++j)
            if (kHostProtocolVersions[i].fingerprint == kHostProtocolVersions[j].fingerprint)
                return false;
    }
    return true;
}
static_assert(VersionsRise(), "each row of kHostProtocolVersions: a higher version, a new list");
static_assert(std::end(kHostProtocolVersions)[-1].fingerprint == kHostRequestsFingerprint,
              "The host's requests changed: add a row to kHostProtocolVersions with the next "
              "version and the list's new fingerprint (kHostRequestsFingerprint).");

// The host's program, beside Dllscope and the checker.
inline constexpr wchar_t kHostProgramName[] = L"dllscope-host.exe";

// The largest frame either side takes: room for a text of 256 Mi UTF-16
// units and its path (the pane's text of 50 MB and more crosses whole).
inline constexpr std::uint32_t kHostFrameLimit = 0x20100000u;

// How the host ends on its own account, told apart from the exit codes
// plugins choose; and the code it gets when its caller ends it.
inline constexpr unsigned long kHostExitArguments = 0x0D5C0001;   // no pipe or bridge named
inline constexpr unsigned long kHostExitLostPipe = 0x0D5C0002;    // its pipe broke or closed
inline constexpr unsigned long kHostExitBadRequest = 0x0D5C0003;  // a request it cannot read
inline constexpr unsigned long kHostExitEndedByCaller = 0x0D5C0004;
inline constexpr unsigned long kHostExitQuit = 0x0D5C0005;  // asked to quit

enum class HostMessage : std::uint8_t {
    // The host, once started: the protocol version and its process id.
    Hello = 1,
// Requests, each answered by Done, Failed or Faulted (host_messages.h);
// Quit: the host ends without an answer.
#define DLLSCOPE_HOST_REQUEST_KIND(kind, message) kind,
    DLLSCOPE_HOST_REQUESTS(DLLSCOPE_HOST_REQUEST_KIND)
#undef DLLSCOPE_HOST_REQUEST_KIND
    // Answers.
    Done = 64,
    Failed,
    Faulted,
};

// A message being written.
class MessageWriter {
  public:
    // Room for the length first, which the frame fills in.
    explicit MessageWriter(HostMessage kind) : bytes_(4, '\0') {
        U8(static_cast<std::uint8_t>(kind));
    }
    MessageWriter& U8(std::uint8_t value);
    MessageWriter& U16(std::uint16_t value);
    MessageWriter& U32(std::uint32_t value);
    MessageWriter& U64(std::uint64_t value);
    MessageWriter& Text(const std::wstring& text);
    // Bytes as they are, without their number.
    MessageWriter& Raw(const std::string& bytes);
    // Makes room for a message of `size` bytes in all.
    void Reserve(std::size_t size) { bytes_.reserve(4 + size); }
    // The frame: length, then the message; Take gives it up without a copy.
    std::string Frame() const;
    std::string Take();

  private:
    std::string bytes_;
};

// A message being read (without its length). Once a field did not fit,
// every further read gives zero or empty and Ok() stays false.
class MessageReader {
  public:
    explicit MessageReader(const std::string& message) : message_(message) {}
    HostMessage Kind();
    std::uint8_t U8();
    std::uint16_t U16();
    std::uint32_t U32();
    std::uint64_t U64();
    std::wstring Text();
    // The next `n` bytes as they are.
    std::string Raw(std::uint32_t n);
    // Makes the message malformed.
    void Fail() { ok_ = false; }
    bool Ok() const { return ok_; }
    // All read, nothing left over, nothing past the end.
    bool Complete() const { return ok_ && at_ == message_.size(); }

  private:
    bool Take(std::size_t n);
    std::uint64_t Number(std::size_t n);

    const std::string& message_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

// The length a frame's first four bytes announce; false when it is zero or
// above `limit`.
bool FrameLength(const char header[4], std::uint32_t limit, std::uint32_t& length);

}  // namespace dllscope
