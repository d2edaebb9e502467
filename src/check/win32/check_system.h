#pragma once
// The machine as the plugin check sees it on Windows: files, the code
// pages, the loader's diagnosis, the guard's fault reports, the clock and
// what the process holds.
#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "check/plugin_check.h"
#include "check/win32/host_coverage.h"
#include "host/win32/usage_probe.h"
#include "host/host_client.h"
#include "host/win32/host_session.h"
#include "sampling/win32/thread_sampler.h"

namespace dllscope {

class Win32CheckSystem : public CheckSystem {
  public:
    // `lastLoadError` gives the system's error code of the last load that failed.
    explicit Win32CheckSystem(std::function<unsigned long()> lastLoadError)
        : lastLoadError_(std::move(lastLoadError)) {}

    bool ReadFile(const std::wstring& path, std::string& bytes) override;
    bool WriteFile(const std::wstring& path, const std::string& bytes) override;
    std::wstring DecodeFile(const std::string& bytes) override;
    std::string ToAnsi(const std::wstring& text) override;
    std::wstring FromUtf8(const std::string& bytes) override;
    std::vector<std::wstring> BeyondAnsi(const std::wstring& text, std::size_t max) override;
    std::vector<std::wstring> FileNames(const std::wstring& folder) override;
    std::wstring Passable(const std::wstring& path) override;
    std::wstring ExchangeFilePath() override;
    std::wstring WhyNotLoaded(const std::wstring& path) override;
    bool AsFault(const std::exception& error, FaultRecord& fault) override;
    double Milliseconds() override;
    CycleUsage Usage(bool remember) override;
    std::vector<std::wstring> NewHandleTypes() override;
    // The processes this one started, and theirs, that still run.
    std::vector<std::wstring> StrayProcesses() override;
    // This thread's samples: the plugin runs on it.
    void StartSampling(const std::wstring& module) override;
    std::vector<SampledStack> StopSampling() override;

    // The call into foreign code under way, or the last one.
    std::wstring lastCall;

  protected:
    std::unique_ptr<BackgroundSampler> sampler_;

  private:
    std::function<unsigned long()> lastLoadError_;
    UsageProbe usage_;
};

// The same, with the plugin in a host: the usage is the host's.
class HostCheckSystem : public Win32CheckSystem {
  public:
    // `limitCalls` shortens the host's limit for one call (0: --timeout again).
    HostCheckSystem(HostSession& host, std::function<void(double)> limitCalls)
        : Win32CheckSystem([&host] { return host.libraries.LastLoadError(); }),
          host_(host),
          limitCalls_(std::move(limitCalls)) {}
    // The exchange file lies in the host's own temporary folder: checks side
    // by side never meet there, and the plugin finds it in its TEMP.
    std::wstring ExchangeFilePath() override;
    CycleUsage Usage(bool remember) override { return HostUsage(host_.client, remember); }
    std::vector<std::wstring> NewHandleTypes() override { return HostNewHandleTypes(host_.client); }
    std::vector<std::wstring> StrayProcesses() override { return host_.process.StrayProcesses(); }
    // The host's thread that runs the plugin's calls.
    void StartSampling(const std::wstring& module) override;
    void LimitCalls(double milliseconds) override { limitCalls_(milliseconds); }
    bool StartCoverage(const std::wstring& path, std::wstring& why) override;
    void KeepCoverage() override { coverage_.Keep(); }
    LineCoverage Coverage() override { return coverage_.Now(); }
    std::size_t MarksReached() override { return coverage_.Reached(); }
    std::vector<std::wstring> PluginStrings() override { return coverage_.Strings(); }
    void StopCoverage() override { coverage_.Stop(); }

  private:
    HostSession& host_;
    HostCoverage coverage_{host_};
    std::function<void(double)> limitCalls_;
};

// A path made full against the current folder.
std::wstring FullPath(const std::wstring& path);

}  // namespace dllscope
