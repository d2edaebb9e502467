#include "checker/watch.h"

#include <algorithm>

#include "common/paths.h"

namespace dllscope {

std::vector<std::wstring> WatchedPaths(const CheckOptions& options) {
    std::vector<std::wstring> paths;
    const auto add = [&paths](const std::wstring& path) {
        if (path.empty()) return;
        const bool known = std::any_of(paths.begin(), paths.end(), [&](const std::wstring& p) {
            return LowerName(p) == LowerName(path);
        });
        if (!known) paths.push_back(path);
    };
    for (const std::wstring& plugin : options.plugins) add(plugin);
    add(options.settings.casesFolder);
    add(options.settings.inputFile);
    add(options.settings.expectOutput);
    return paths;
}

WatchedFiles::WatchedFiles(std::vector<std::wstring> paths, const Look& look)
    : paths_(std::move(paths)) {
    for (const std::wstring& path : paths_) stamps_.push_back(look(path));
}

std::vector<std::wstring> WatchedFiles::Changed(const Look& look) {
    std::vector<std::wstring> changed;
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        const FileStamp now = look(paths_[i]);
        if (now == stamps_[i]) continue;
        stamps_[i] = now;
        changed.push_back(paths_[i]);
    }
    return changed;
}

double Debounce::Wait(double now) const {
    if (!waiting_) return -1;
    return std::max(0.0, quiet_ - (now - last_));
}

std::wstring ChangeLine(const std::wstring& time, const std::vector<std::wstring>& changed) {
    std::wstring names;
    for (const std::wstring& path : changed)
        names += (names.empty() ? L"" : L", ") + FileNameOf(path);
    return time + L": " + names + L" geändert";
}

}  // namespace dllscope
