#pragma once
// What a plugin writes to its standard output and error while it is checked,
// caught in a pipe of its own: the report stays the checker's. A thread reads
// the pipe as it fills, so a plugin that prints much never blocks; the first
// kPluginOutputKept bytes are kept, the rest only counted.
#include <windows.h>

#include <atomic>

#include "check/check_report.h"

namespace dllscope {

class OutputCapture {
  public:
    // Throws RuntimeError when the pipe or its reader cannot be made.
    OutputCapture();
    ~OutputCapture();
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    // The pipe's end to write to (not inheritable: duplicate it for a child).
    HANDLE WriteEnd() const { return write_; }
    // Closes the writing end, reads what is still on its way (until the pipe
    // is quiet or its writers are gone) and gives what came; null when nothing.
    std::optional<PluginOutput> Finish();
    // What came so far, without waiting; safe from any thread, also once the
    // reader is gone with the process.
    std::optional<PluginOutput> SoFar() const;

  private:
    static DWORD WINAPI ReadAll(void* self);
    void Read();

    HANDLE read_ = nullptr, write_ = nullptr, stop_ = nullptr, thread_ = nullptr;
    char kept_[kPluginOutputKept];
    std::atomic<std::size_t> keptBytes_{0};
    std::atomic<unsigned long long> allBytes_{0};
};

// Sends this process's standard output and error (the system's handles and
// the C runtime's streams, which plugins linking the same runtime share) to
// a capture while it lives, for a plugin checked in this process.
class StandardOutputRedirect {
  public:
    explicit StandardOutputRedirect(OutputCapture& capture);
    ~StandardOutputRedirect();
    StandardOutputRedirect(const StandardOutputRedirect&) = delete;
    StandardOutputRedirect& operator=(const StandardOutputRedirect&) = delete;

  private:
    int savedOut_ = -1, savedErr_ = -1;
    HANDLE out_ = nullptr, err_ = nullptr;
};

}  // namespace dllscope
