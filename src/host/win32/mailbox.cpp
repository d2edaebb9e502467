#include "host/win32/mailbox.h"

#include <algorithm>
#include <cstring>

namespace dllscope {

namespace {
constexpr LONG kSlotBytes = 64 * 1024;
}  // namespace

struct Mailbox::Slot {
    volatile LONG full;           // bytes waiting in `data`; 0: room for the next
    volatile LONG readerWaiting;  // the reader sleeps on its event
    volatile LONG writerWaiting;  // the writer sleeps on its event, for room
    LONG reserved;
    char data[kSlotBytes];
};

std::size_t Mailbox::Bytes() { return 2 * sizeof(Slot); }

Mailbox::Mailbox(void* view, bool host, HANDLE own, HANDLE other, double spinMicroseconds)
    : in_(static_cast<Slot*>(view)[host ? 0 : 1]),
      out_(static_cast<Slot*>(view)[host ? 1 : 0]),
      own_(own),
      other_(other) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    spinTicks_ = static_cast<long long>(frequency.QuadPart * spinMicroseconds / 1e6);
}

template <class Ready>
bool Mailbox::Spin(Ready ready) const {
    LARGE_INTEGER start, now;
    QueryPerformanceCounter(&start);
    for (unsigned n = 1;; ++n) {
        if (ready()) return true;
        YieldProcessor();
        if (n % 64 == 0) {
            QueryPerformanceCounter(&now);
            if (now.QuadPart - start.QuadPart >= spinTicks_) return ready();
        }
    }
}

std::size_t Mailbox::Read(char* to, std::size_t max, const Block& block) {
    for (;;) {
        if (!Spin([this] { return in_.full != 0; })) {
            // Asleep only when nothing came after saying so: the writer
            // looks at the flag after it filled the slot.
            InterlockedExchange(&in_.readerWaiting, 1);
            const bool sleep = InterlockedCompareExchange(&in_.full, 0, 0) == 0;
            const bool woke = !sleep || block();
            InterlockedExchange(&in_.readerWaiting, 0);
            if (!woke && in_.full == 0) return 0;
            continue;
        }
        const LONG full = in_.full;
        if (full < 0 || full > kSlotBytes || at_ >= static_cast<std::size_t>(full)) return 0;
        const std::size_t n = std::min(max, static_cast<std::size_t>(full) - at_);
        std::memcpy(to, in_.data + at_, n);
        at_ += n;
        if (at_ == static_cast<std::size_t>(full)) {
            at_ = 0;
            InterlockedExchange(&in_.full, 0);
            if (InterlockedCompareExchange(&in_.writerWaiting, 0, 0)) SetEvent(other_);
        }
        return n;
    }
}

void Mailbox::Publish(const char* data, std::size_t size) {
    std::memcpy(out_.data, data, size);
    InterlockedExchange(&out_.full, static_cast<LONG>(size));
    if (InterlockedCompareExchange(&out_.readerWaiting, 0, 0)) SetEvent(other_);
}

bool Mailbox::Write(const char* data, std::size_t size, const Block& block) {
    while (size > 0) {
        if (!Spin([this] { return out_.full == 0; })) {
            InterlockedExchange(&out_.writerWaiting, 1);
            const bool sleep = InterlockedCompareExchange(&out_.full, 0, 0) != 0;
            const bool woke = !sleep || block();
            InterlockedExchange(&out_.writerWaiting, 0);
            if (!woke && out_.full != 0) return false;
            continue;
        }
        const std::size_t n = std::min(size, static_cast<std::size_t>(kSlotBytes));
        Publish(data, n);
        data += n;
        size -= n;
    }
    return true;
}

bool Mailbox::TryWrite(const std::string& data) {
    if (out_.full != 0 || data.size() > static_cast<std::size_t>(kSlotBytes)) return false;
    Publish(data.data(), data.size());
    return true;
}

std::wstring MailboxSectionName(const std::wstring& base) { return base + L"-box"; }

std::wstring MailboxEventName(const std::wstring& base, bool host) {
    return base + (host ? L"-host" : L"-caller");
}

}  // namespace dllscope
