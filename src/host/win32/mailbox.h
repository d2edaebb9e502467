#pragma once
// The fast lane between a plugin's host and its caller, once the host has
// greeted over the pipe: a section both map, one slot each way, and an
// event each side sleeps on. Each side spins a little before it sleeps, so
// the calls of a cycle, which follow each other closely, cost no trip
// through the system (under Wine a pipe's round trip costs some 0.4 ms, a
// slot's well under a microsecond). What a slot says is bounded like any
// other input: a count beyond the slot breaks the lane.
#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

namespace dllscope {

class Mailbox {
  public:
    // The section's size.
    static std::size_t Bytes();
    // One side's wait for its own event: true when it was set, false when
    // the other side is gone. It may throw (the caller's limit).
    using Block = std::function<bool()>;

    // `view`: the mapped section; `host`: which side this is; `own`: the
    // event this side sleeps on; `other`: the other side's.
    Mailbox(void* view, bool host, HANDLE own, HANDLE other, double spinMicroseconds);

    // Up to `max` bytes that came, waiting for at least one; 0 when the
    // other side is gone or the slot is broken.
    std::size_t Read(char* to, std::size_t max, const Block& block);
    // All of `data`, a slot at a time; false when the other side is gone.
    bool Write(const char* data, std::size_t size, const Block& block);
    // A write that does not wait: false when there is no room.
    bool TryWrite(const std::string& data);
    // Whether a read or write ended because the slot said what an honest
    // other side never makes it say: a count beyond the slot.
    bool Broken() const { return broken_; }

  private:
    struct Slot;
    // Spins until `ready` holds or the spin is over.
    template <class Ready>
    bool Spin(Ready ready) const;
    // `spin`: false after a wake that found nothing, which goes straight
    // back to sleep.
    template <class Ready>
    bool Await(volatile LONG& waiting, Ready ready, const Block& block, bool spin);
    void Publish(const char* data, std::size_t size);

    Slot& in_;
    Slot& out_;
    HANDLE own_, other_;
    long long spinTicks_;
    std::size_t at_ = 0;  // read of the slot that came
    bool broken_ = false;
};

// The names of a mailbox's section and events from its base name.
std::wstring MailboxSectionName(const std::wstring& base);
std::wstring MailboxEventName(const std::wstring& base, bool host);

}  // namespace dllscope
