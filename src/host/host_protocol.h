#pragma once
// What Dllscope and the checker say to dllscope-host.exe, the process that
// makes a plugin's calls for them, and what it answers: the wire's bytes.
// A message is a frame: its length (4 bytes, little-endian), then that many
// bytes: the kind (1 byte) and its fields. Numbers are little-endian, a text
// is its length in UTF-16 units (4 bytes) and the units. Every reader is
// bounded: a field running past the end of its frame, or bytes left over,
// make the message malformed. The messages themselves are host_messages.h.
#include <cstdint>
#include <string>

namespace dllscope {

// Raised whenever the messages change; the host answers its start with it.
inline constexpr std::uint32_t kHostProtocolVersion = 3;

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
    // Requests, each answered by Done, Failed or Faulted (host_messages.h).
    Load,
    Free,
    PluginBackvalue,
    PluginName,
    PluginDescription,
    PluginRun,
    WrapperName,
    PluginWrappText,
    PluginWrappForm,
    Usage,
    NewHandleTypes,
    Quit,  // the host ends without an answer
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
