#pragma once
// How a message becomes a frame and back: the head every message starts
// with, the walkers of a message's fields (sizing, writing, reading; large
// bytes through a bulk channel where there is one), and the frames of
// requests and answers.
#include <cstdint>
#include <string>
#include <vector>

#include "host/host_protocol.h"

namespace dllscope {

// Where large bytes go instead of the pipe: a block of memory both ends can
// reach, named by a token. Put gives false when the bytes go inline; Take
// gives false for a token that names no such block of `size` bytes.
class BulkChannel {
  public:
    virtual ~BulkChannel() = default;
    virtual bool Put(const std::string& bytes, std::uint64_t& token) = 0;
    virtual bool Take(std::uint64_t token, std::uint32_t size, std::string& bytes) = 0;
};

// Bytes from this many on go through the bulk channel, where there is one.
inline constexpr std::size_t kBulkFrom = 64 * 1024;

// The head every message starts with.
struct MessageHead {
    HostMessage kind{};
    std::uint32_t id = 0;
    HostMessage answers{};  // an answer's: the kind of the request it answers
};

namespace wire {

// Bytes on the wire: their number, then 0 and the bytes, or 1 and the bulk
// channel's token. The sizer counts them inline: the frame's limit holds
// either way.
struct Sizer {
    std::uint64_t size = 0;
    void operator()(bool) { size += 1; }
    void operator()(std::uint16_t) { size += 2; }
    void operator()(std::uint32_t) { size += 4; }
    void operator()(std::uint64_t) { size += 8; }
    void operator()(long long) { size += 8; }
    void operator()(const std::wstring& text) { size += 4 + 2 * std::uint64_t{text.size()}; }
    void operator()(const std::string& bytes) { size += 5 + std::uint64_t{bytes.size()}; }
    void operator()(const std::vector<std::wstring>& texts) {
        size += 4;
        for (const std::wstring& text : texts) (*this)(text);
    }
    template <class T>
    void operator()(const std::vector<T>& records) {
        size += 4;
        for (const T& record : records) const_cast<T&>(record).Fields(*this);
    }
};

struct Writer {
    MessageWriter& w;
    BulkChannel* bulk;
    void operator()(bool value) { w.U8(value ? 1 : 0); }
    void operator()(std::uint16_t value) { w.U16(value); }
    void operator()(std::uint32_t value) { w.U32(value); }
    void operator()(std::uint64_t value) { w.U64(value); }
    void operator()(long long value) { w.U64(static_cast<std::uint64_t>(value)); }
    void operator()(const std::wstring& text) { w.Text(text); }
    void operator()(const std::string& bytes) {
        std::uint64_t token = 0;
        w.U32(static_cast<std::uint32_t>(bytes.size()));
        if (bulk && bytes.size() >= kBulkFrom && bulk->Put(bytes, token)) {
            w.U8(1).U64(token);
        } else {
            w.U8(0).Raw(bytes);
        }
    }
    void operator()(const std::vector<std::wstring>& texts) {
        w.U32(static_cast<std::uint32_t>(texts.size()));
        for (const std::wstring& text : texts) w.Text(text);
    }
    template <class T>
    void operator()(const std::vector<T>& records) {
        w.U32(static_cast<std::uint32_t>(records.size()));
        for (const T& record : records) const_cast<T&>(record).Fields(*this);  // only read
    }
};

struct Reader {
    MessageReader& r;
    BulkChannel* bulk;
    std::uint64_t bulkLimit;  // the most bytes a section may bring
    void operator()(bool& value) { value = r.U8() != 0; }
    void operator()(std::uint16_t& value) { value = r.U16(); }
    void operator()(std::uint32_t& value) { value = r.U32(); }
    void operator()(std::uint64_t& value) { value = r.U64(); }
    void operator()(long long& value) { value = static_cast<long long>(r.U64()); }
    void operator()(std::wstring& text) { text = r.Text(); }
    void operator()(std::string& bytes) {
        const std::uint32_t size = r.U32();
        if (r.U8() == 0) {
            bytes = r.Raw(size);
        } else if (const std::uint64_t token = r.U64();
                   !r.Ok() || !bulk || size > bulkLimit || !bulk->Take(token, size, bytes)) {
            r.Fail();
        }
    }
    // A count is believed only as far as the message has bytes for it.
    void operator()(std::vector<std::wstring>& texts) {
        for (std::uint32_t n = r.U32(); r.Ok() && n > 0; --n) texts.push_back(r.Text());
    }
    // Records of fields (each takes bytes): as many as the message holds.
    template <class T>
    void operator()(std::vector<T>& records) {
        for (std::uint32_t n = r.U32(); r.Ok() && n > 0; --n) {
            T record{};
            record.Fields(*this);
            if (r.Ok()) records.push_back(std::move(record));
        }
    }
};

}  // namespace wire

// The bytes a message's frame takes inline, head included: known before any
// is made.
template <class M>
std::uint64_t FrameSize(const M& message, bool answer) {
    wire::Sizer sizer;
    const_cast<M&>(message).Fields(sizer);  // the sizer only looks
    return 4 + 1 + 4 + (answer ? 1 : 0) + sizer.size;
}

// A message's frame, with its head.
template <class M>
std::string WriteFrame(const MessageHead& head, const M& message, bool answer,
                       BulkChannel* bulk = nullptr) {
    MessageWriter w(head.kind);
    if (!bulk) w.Reserve(static_cast<std::size_t>(FrameSize(message, answer)));
    w.U32(head.id);
    if (answer) w.U8(static_cast<std::uint8_t>(head.answers));
    wire::Writer writer{w, bulk};
    const_cast<M&>(message).Fields(writer);  // the writer only reads
    return w.Take();
}

template <class Request>
std::string RequestFrame(const Request& request, std::uint32_t id, BulkChannel* bulk = nullptr) {
    return WriteFrame({Request::kKind, id, {}}, request, false, bulk);
}

template <class M>
std::string AnswerFrame(HostMessage kind, const MessageHead& request, const M& message,
                        BulkChannel* bulk = nullptr) {
    return WriteFrame({kind, request.id, request.kind}, message, true, bulk);
}

// Done, Failed or Faulted: the kinds that answer a request.
bool IsAnswer(HostMessage kind);
// The head of a message (without its length); false when it is cut short.
bool ReadHead(MessageReader& reader, MessageHead& head);

// The fields of `message` from the rest: false when they do not fit it exactly.
template <class M>
bool ReadFields(MessageReader& reader, M& message, BulkChannel* bulk = nullptr,
                std::uint64_t bulkLimit = kHostFrameLimit) {
    wire::Reader fields{reader, bulk, bulkLimit};
    message.Fields(fields);
    return reader.Complete();
}

}  // namespace dllscope
