#include "checker/win32/output_capture.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <string>

#include "common/runtime_error.h"
#include "common/text_decoding.h"
#include "common/win32/ansi.h"
#include "common/win32/pipes.h"
#include "common/win32/system_error.h"
#include "plugin/win32/libraries.h"

namespace dllscope {

OutputCapture::OutputCapture() {
    std::wstring name;
    read_ = CreateOwnPipe(L"output", PIPE_ACCESS_INBOUND, name);
    if (read_)
        write_ = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (write_ == INVALID_HANDLE_VALUE) write_ = nullptr;
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (read_ && write_ && stop_) thread_ = CreateThread(nullptr, 0, ReadAll, this, 0, nullptr);
    if (!thread_) {
        const DWORD error = GetLastError();
        for (HANDLE h : {read_, write_, stop_})
            if (h) CloseHandle(h);
        throw RuntimeError(L"Die Ausgabe des Plugins kann nicht aufgefangen werden: " +
                           SystemErrorText(error) + L".");
    }
}

OutputCapture::~OutputCapture() {
    Finish();
    for (HANDLE h : {read_, stop_})
        if (h) CloseHandle(h);
}

DWORD WINAPI OutputCapture::ReadAll(void* self) {
    static_cast<OutputCapture*>(self)->Read();
    return 0;
}

void OutputCapture::Read() {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event) return;
    char chunk[4096];
    // Once stopped, what is still on its way comes at once: a pipe quiet for
    // a tenth of a second is done, and one that keeps going (a process that
    // outlived its plugin) is cut off after two seconds.
    bool stopping = false;
    ULONGLONG stoppedAt = 0;
    while (!stopping || GetTickCount64() - stoppedAt < 2000) {
        OVERLAPPED o{};
        o.hEvent = event;
        ResetEvent(event);
        DWORD n = 0;
        if (!ReadFile(read_, chunk, sizeof chunk, &n, &o) && GetLastError() != ERROR_IO_PENDING)
            break;  // every writer is gone
        const HANDLE waits[2] = {event, stop_};
        const DWORD woke = stopping ? WaitForSingleObject(event, 100)
                                    : WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (woke == WAIT_OBJECT_0) {
            if (!GetOverlappedResult(read_, &o, &n, FALSE)) break;
        } else {
            CancelIo(read_);
            if (!GetOverlappedResult(read_, &o, &n, TRUE)) n = 0;
            if (stopping && n == 0) break;
            if (!stopping) stoppedAt = GetTickCount64();
            stopping = true;
        }
        const std::size_t kept = keptBytes_.load();
        const std::size_t take = std::min<std::size_t>(n, kPluginOutputKept - kept);
        std::copy(chunk, chunk + take, kept_ + kept);
        keptBytes_.store(kept + take);
        allBytes_.fetch_add(n);
    }
    CloseHandle(event);
}

std::optional<PluginOutput> OutputCapture::SoFar() const {
    const std::size_t kept = keptBytes_.load();
    const unsigned long long all = allBytes_.load();
    if (all == 0) return std::nullopt;
    // A character cut by the end of what is kept does not make the rest ANSI.
    std::size_t end = kept;
    if (all > kept) {
        std::size_t lead = kept;
        int following = 0;
        while (lead > 0 && following < 3 && (kept_[lead - 1] & 0xC0) == 0x80) --lead, ++following;
        const auto first = lead > 0 ? static_cast<unsigned char>(kept_[lead - 1]) : 0;
        const int needs = first >= 0xF0 ? 3 : first >= 0xE0 ? 2 : first >= 0xC0 ? 1 : 0;
        if (following < needs) end = lead - 1;
    }
    try {
        return PluginOutput{DecodeFileText(std::string(kept_, end), FromAnsi), all};
    } catch (const std::exception&) {
        return PluginOutput{std::wstring(), all};  // no memory for the text: its size at least
    }
}

std::optional<PluginOutput> OutputCapture::Finish() {
    if (write_) {
        CloseHandle(write_);
        write_ = nullptr;
    }
    if (thread_) {
        SetEvent(stop_);
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    return SoFar();
}

StandardOutputRedirect::StandardOutputRedirect(OutputCapture& capture) {
    FlushRuntimeStreams();
    out_ = GetStdHandle(STD_OUTPUT_HANDLE);
    err_ = GetStdHandle(STD_ERROR_HANDLE);
    savedOut_ = _dup(1);
    savedErr_ = _dup(2);
    // Inheritable, so that a process the plugin starts writes there too.
    HANDLE write = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), capture.WriteEnd(), GetCurrentProcess(), &write, 0,
                         TRUE, DUPLICATE_SAME_ACCESS))
        return;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(write), _O_BINARY | _O_WRONLY);
    if (fd < 0) {
        CloseHandle(write);
        return;
    }
    _dup2(fd, 1);
    _dup2(fd, 2);
    SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(1)));
    SetStdHandle(STD_ERROR_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(2)));
    _close(fd);
}

StandardOutputRedirect::~StandardOutputRedirect() {
    FlushRuntimeStreams();
    if (savedOut_ >= 0) {
        _dup2(savedOut_, 1);
        _close(savedOut_);
    } else {
        _close(1);
    }
    if (savedErr_ >= 0) {
        _dup2(savedErr_, 2);
        _close(savedErr_);
    } else {
        _close(2);
    }
    SetStdHandle(STD_OUTPUT_HANDLE,
                 savedOut_ >= 0 ? reinterpret_cast<HANDLE>(_get_osfhandle(1)) : out_);
    SetStdHandle(STD_ERROR_HANDLE,
                 savedErr_ >= 0 ? reinterpret_cast<HANDLE>(_get_osfhandle(2)) : err_);
}

}  // namespace dllscope
