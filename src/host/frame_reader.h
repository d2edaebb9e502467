#pragma once
// Frames as they come from a stream of bytes, for both ends of the pipe.
// Small reads go through a buffer of their own (most messages come in one
// read), large ones straight into the message, whose room grows with the
// bytes that came, never with what a length announced.
#include <cstddef>
#include <cstdint>
#include <string>

namespace dllscope {

// One end's reading: at most `max` bytes, at least one; 0 when the stream
// closed. It may also throw: the caller's end throws its words for a host
// that ended or hangs.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::size_t ReadSome(char* to, std::size_t max) = 0;
};

enum class FrameRead {
    Complete,
    Closed,    // the stream closed before the frame was whole
    Empty,     // a length of zero
    TooLong,   // a length above the limit
    NoMemory,  // no room for what came
};

class FrameReader {
  public:
    explicit FrameReader(ByteSource& source) : source_(source) {}
    // The next frame's message (without its length) into `message`.
    FrameRead Next(std::uint32_t limit, std::string& message);
    // The length the last frame announced.
    std::uint32_t Announced() const { return announced_; }
    // Passes over the rest of a frame it had no room for; false when the
    // stream closed first.
    bool SkipRest();
    // Forgets what is held: the next read starts on a new stream.
    void Reset();

  private:
    // Up to `max` bytes into `to`: from the buffer, else from the source.
    std::size_t Some(char* to, std::size_t max);

    static constexpr std::size_t kChunk = 1 << 16;
    ByteSource& source_;
    std::string held_;
    std::size_t at_ = 0;
    std::uint32_t announced_ = 0;
    std::uint32_t unread_ = 0;  // of a frame it had no room for
};

}  // namespace dllscope
