#include "host/win32/host_process.h"

#include <string>

#include "common/win32/ansi.h"
#include "common/win32/pipes.h"
#include "guard/win32/foreign_result.h"
#include "host/win32/bulk_sections.h"
#include "host/win32/mailbox.h"

namespace dllscope {

// The fast lane's section and events, made before the host starts: their
// base name, or the empty string when they cannot be made (the pipe then
// carries everything). A name someone else made first is not used.
std::wstring PluginHost::OpenLane() {
    static LONG made = 0;
    const std::wstring base = L"Local\\dllscope-lane-" + std::to_wstring(GetCurrentProcessId()) +
                              L"-" + std::to_wstring(InterlockedIncrement(&made));
    OwnUserOnly security;
    const auto fresh = [](HANDLE h) { return h && GetLastError() != ERROR_ALREADY_EXISTS; };
    laneSection_ =
        CreateFileMappingW(INVALID_HANDLE_VALUE, security.get(), PAGE_READWRITE, 0,
                           static_cast<DWORD>(Mailbox::Bytes()), MailboxSectionName(base).c_str());
    bool ok = fresh(laneSection_);
    hostEvent_ = CreateEventW(security.get(), FALSE, FALSE, MailboxEventName(base, true).c_str());
    ok = fresh(hostEvent_) && ok;
    callerEvent_ =
        CreateEventW(security.get(), FALSE, FALSE, MailboxEventName(base, false).c_str());
    ok = fresh(callerEvent_) && ok;
    laneView_ = ok ? MapViewOfFile(laneSection_, FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr;
    if (laneView_) return base;
    CloseLane();
    return std::wstring();
}

void PluginHost::CloseLane() {
    lane_.reset();
    if (laneView_) UnmapViewOfFile(laneView_);
    laneView_ = nullptr;
    for (HANDLE* h : {&laneSection_, &hostEvent_, &callerEvent_}) {
        if (*h) CloseHandle(*h);
        *h = nullptr;
    }
}

void PluginHost::Greeted(bool lane) {
    // A host that took the lane reads and writes nothing else from now on.
    // The caller spins as briefly as the host for the answer.
    if (lane && laneView_) lane_.emplace(laneView_, false, callerEvent_, hostEvent_, 50.0);
}

std::string AnsiTextCodec::ToPlugin(const std::wstring& text) { return ToAnsi(text); }

std::wstring AnsiTextCodec::FromPlugin(const ForeignCall& call, const std::string& bytes) {
    return ForeignAnsiText(call, bytes);
}

bool PluginHost::Put(const std::string& bytes, std::uint64_t& token) {
    const HANDLE section = SectionWith(bytes);
    HANDLE remote = nullptr;
    if (!section || !DuplicateHandle(GetCurrentProcess(), section, process_, &remote, FILE_MAP_READ,
                                     FALSE, DUPLICATE_CLOSE_SOURCE))
        return false;
    token = reinterpret_cast<ULONG_PTR>(remote);
    return true;
}

// The token is a handle of the host's, which the answer names: whatever the
// plugin made of it, only a section of `size` bytes is read.
bool PluginHost::Take(std::uint64_t token, std::uint32_t size, std::string& bytes) {
    HANDLE section = nullptr;
    if (!DuplicateHandle(process_, reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(token)),
                         GetCurrentProcess(), &section, FILE_MAP_READ, FALSE,
                         DUPLICATE_CLOSE_SOURCE))
        return false;
    struct Close {
        HANDLE handle;
        ~Close() { CloseHandle(handle); }
    } close{section};
    return TakeFromSection(section, size, bytes);
}

}  // namespace dllscope
