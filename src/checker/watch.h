#pragma once
// What `dllscope-check --watch` follows between its runs: the named DLLs,
// the cases folder and the --input and --expect-output files, each by its
// stamp (size and time of the last write); and when a burst of changes (a
// linker writing a file in pieces, a copy) has settled into one.
#include <functional>
#include <string>
#include <vector>

#include "checker/check_options.h"

namespace dllscope {

// A file's (or a folder's, summed over its files) size and last write;
// `present` false when it cannot be seen.
struct FileStamp {
    bool present = false;
    long long size = 0;
    unsigned long long written = 0;
    bool operator==(const FileStamp& o) const {
        return present == o.present && size == o.size && written == o.written;
    }
};

// The paths --watch follows for `options`, each once, in the order given:
// the plugins, the cases folder, the input and the expected output.
std::vector<std::wstring> WatchedPaths(const CheckOptions& options);

class WatchedFiles {
  public:
    using Look = std::function<FileStamp(const std::wstring& path)>;
    // The paths with their stamps as they are now.
    WatchedFiles(std::vector<std::wstring> paths, const Look& look);
    // The paths whose stamp changed since the last look, in their order;
    // their new stamps are kept.
    std::vector<std::wstring> Changed(const Look& look);

  private:
    std::vector<std::wstring> paths_;
    std::vector<FileStamp> stamps_;
};

// Changes that follow each other within `quietMs` count as one: it is due
// once none came for that long.
class Debounce {
  public:
    explicit Debounce(double quietMs) : quiet_(quietMs) {}
    void Changed(double now) {
        waiting_ = true;
        last_ = now;
    }
    bool Due(double now) const { return waiting_ && now - last_ >= quiet_; }
    // Milliseconds until a waiting change is due (0 when it is); -1 when
    // none waits.
    double Wait(double now) const;
    void Taken() { waiting_ = false; }

  private:
    double quiet_;
    double last_ = 0;
    bool waiting_ = false;
};

// "14:02:11: meinplugin.dll geändert" for the changed paths (their file
// names) at `time` ("14:02:11").
std::wstring ChangeLine(const std::wstring& time, const std::vector<std::wstring>& changed);

}  // namespace dllscope
