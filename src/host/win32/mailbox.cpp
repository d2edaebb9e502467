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

// Spins until `ready` holds, else sleeps on this side's event after saying so
// in `waiting`: the other side looks at that flag after it changed the slot,
// so a change between the flag and the sleep is never missed. False when the
// other side is gone and `ready` still does not hold.
template <class Ready>
bool Mailbox::Await(volatile LONG& waiting, Ready ready, const Block& block, bool spin) {
    if (spin ? Spin(ready) : ready()) return true;
    InterlockedExchange(&waiting, 1);  // a full barrier: `ready` reads after it
    const bool woke = ready() || block();
    InterlockedExchange(&waiting, 0);
    return woke || ready();
}

// A wake may find nothing: a side that found its slot ready without
// sleeping may still have been signalled for it, and the other side may set
// the event late, after its look at the flag. Such wakes are waited through;
// the caller's wait bounds them by the call's limit, so a host that keeps
// setting the event gets no more of the caller than its wakes.
std::size_t Mailbox::Read(char* to, std::size_t max, const Block& block) {
    for (bool spin = true;; spin = false) {
        if (!Await(
                in_.readerWaiting, [this] { return in_.full != 0; }, block, spin))
            return 0;
        const LONG full = in_.full;
        if (full == 0) continue;
        if (full < 0 || full > kSlotBytes || at_ >= static_cast<std::size_t>(full)) {
            broken_ = true;
            return 0;
        }
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
    for (bool spin = true; size > 0;) {
        if (!Await(
                out_.writerWaiting, [this] { return out_.full == 0; }, block, spin))
            return false;
        spin = out_.full == 0;
        if (!spin) continue;  // woken for nothing
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
