#pragma once
// The machine as the plugin check sees it on Windows: files, the code
// pages, the loader's diagnosis, the guard's fault reports, the clock and
// what the process holds.
#include <windows.h>

#include <vector>

#include "check/plugin_check.h"
#include "plugin/win32/libraries.h"

namespace dllscope {

class Win32CheckSystem : public CheckSystem {
  public:
    explicit Win32CheckSystem(const Win32Libraries& libraries) : libraries_(libraries) {}

    bool ReadFile(const std::wstring& path, std::string& bytes) override;
    bool WriteFile(const std::wstring& path, const std::string& bytes) override;
    std::wstring DecodeFile(const std::string& bytes) override;
    std::string ToAnsi(const std::wstring& text) override;
    std::wstring FromUtf8(const std::string& bytes) override;
    std::vector<std::wstring> BeyondAnsi(const std::wstring& text, std::size_t max) override;
    std::wstring Passable(const std::wstring& path) override;
    std::wstring ExchangeFilePath() override;
    std::wstring WhyNotLoaded(const std::wstring& path) override;
    bool AsFault(const std::exception& error, CheckFault& fault) override;
    double Milliseconds() override;
    CycleUsage Usage(bool remember) override;
    std::vector<std::wstring> NewHandleTypes() override;

    // The call into foreign code under way, or the last one.
    std::wstring lastCall;

  private:
    const Win32Libraries& libraries_;
    std::vector<ULONG_PTR> remembered_;
};

// A path made full against the current folder.
std::wstring FullPath(const std::wstring& path);

}  // namespace dllscope
