#pragma once
// The lines a plugin's runs reach in its host: the marks listed in a
// section of this process's that every host of the plugin maps, set again
// in each new host (one started after a fault or a hang) where no earlier
// one saw them reached.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/win32/host_session.h"
#include "sampling/line_coverage.h"

namespace dllscope {

class HostCoverage {
  public:
    explicit HostCoverage(HostSession& host) : host_(host) {}
    ~HostCoverage() { Stop(); }
    HostCoverage(const HostCoverage&) = delete;
    HostCoverage& operator=(const HostCoverage&) = delete;

    // `file`: the plugin's file; `passable`: its path as the bridge takes it.
    bool Start(const std::wstring& path, const std::wstring& passable, const std::string& file,
               std::wstring& why);
    // Before a run: a host without the marks gets them.
    void Keep();
    LineCoverage Now() const;
    // The marks reached so far, by the host's count.
    std::size_t Reached() const;
    const std::vector<std::wstring>& Strings() const { return map_.Strings(); }
    void Stop();

  private:
    HostSession& host_;
    CoverageMap map_;
    HANDLE section_ = nullptr;
    unsigned char* view_ = nullptr;
    std::wstring name_, module_, alias_;
    std::optional<std::uint64_t> marked_;  // the generation of the host that has the marks
};

}  // namespace dllscope
