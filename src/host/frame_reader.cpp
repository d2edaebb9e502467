#include "host/frame_reader.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "host/host_protocol.h"

namespace dllscope {

std::size_t FrameReader::Some(char* to, std::size_t max) {
    if (at_ == held_.size()) {
        // A large read goes to its place; a small one fills the buffer.
        if (max >= kChunk) return source_.ReadSome(to, max);
        held_.resize(kChunk);
        at_ = 0;
        const std::size_t n = source_.ReadSome(held_.data(), kChunk);
        held_.resize(n);
        if (n == 0) return 0;
    }
    const std::size_t n = std::min(max, held_.size() - at_);
    std::memcpy(to, held_.data() + at_, n);
    at_ += n;
    return n;
}

FrameRead FrameReader::Next(std::uint32_t limit, std::string& message) {
    message.clear();
    announced_ = 0;
    char header[4];
    for (std::size_t done = 0; done < 4;) {
        const std::size_t n = Some(header + done, 4 - done);
        if (n == 0) return FrameRead::Closed;
        done += n;
    }
    std::uint32_t length = 0;
    const bool fits = FrameLength(header, limit, length);
    announced_ = length;
    if (length == 0) return FrameRead::Empty;
    if (!fits) return FrameRead::TooLong;
    std::size_t have = 0;
    while (have < length) {
        if (have == message.size()) {
            const std::size_t room = std::min<std::size_t>(length, std::max(kChunk, 2 * have));
            try {
                message.resize(room);
            } catch (const std::exception&) {  // bad_alloc, length_error
                std::string().swap(message);
                unread_ = static_cast<std::uint32_t>(length - have);
                return FrameRead::NoMemory;
            }
        }
        const std::size_t n = Some(message.data() + have, message.size() - have);
        if (n == 0) return FrameRead::Closed;
        have += n;
    }
    message.resize(length);
    return FrameRead::Complete;
}

bool FrameReader::SkipRest() {
    char sink[4096];
    while (unread_ > 0) {
        const std::size_t got = Some(sink, std::min<std::size_t>(unread_, sizeof sink));
        if (got == 0) return false;
        unread_ -= static_cast<std::uint32_t>(got);
    }
    return true;
}

void FrameReader::Reset() {
    held_.clear();
    at_ = 0;
    announced_ = 0;
    unread_ = 0;
}

}  // namespace dllscope
