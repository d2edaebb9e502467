#pragma once
// The machine as the check of a plugin reaches it: its files and texts, and
// what it learns of the process the plugin runs in.
#include <exception>
#include <string>
#include <vector>

#include "check/check_records.h"

namespace dllscope {

// The files and texts of a check: its pages, the exchange file, the code pages.
class CheckFiles {
  public:
    virtual ~CheckFiles() = default;
    virtual bool ReadFile(const std::wstring& path, std::string& bytes) = 0;
    virtual bool WriteFile(const std::wstring& path, const std::string& bytes) = 0;
    // A file's text as the pane reads it; a text as the exchange file holds it.
    virtual std::wstring DecodeFile(const std::string& bytes) = 0;
    virtual std::string ToAnsi(const std::wstring& text) = 0;
    virtual std::wstring FromUtf8(const std::string& bytes) = 0;
    // The characters of `text` the ANSI code page cannot carry, at most `max`.
    virtual std::vector<std::wstring> BeyondAnsi(const std::wstring& text, std::size_t max) = 0;
    // The names of the files in a folder (no subfolders).
    virtual std::vector<std::wstring> FileNames(const std::wstring& folder) = 0;
    // The path as it reaches the bridge (its short form where ANSI cannot carry it).
    virtual std::wstring Passable(const std::wstring& path) = 0;
    virtual std::wstring ExchangeFilePath() = 0;
};

// What a check learns of the process the plugin runs in: why a load failed,
// what a fault was, the clock, what the process holds and what it started.
class CheckProbe {
  public:
    virtual ~CheckProbe() = default;
    // Why the plugin whose load just failed cannot be loaded.
    virtual std::wstring WhyNotLoaded(const std::wstring& path) = 0;
    // The crash report when `error` is a fault of foreign code.
    virtual bool AsFault(const std::exception& error, FaultRecord& fault) = 0;
    virtual double Milliseconds() = 0;  // a steady clock
    // What the process holds now; `remember` keeps its handles for NewHandleTypes.
    virtual CycleUsage Usage(bool remember) = 0;
    // The type names of the handles opened since the remembered moment.
    virtual std::vector<std::wstring> NewHandleTypes() = 0;
    // The programs of the processes the plugin started that still run.
    virtual std::vector<std::wstring> StrayProcesses() { return {}; }
    // Samples of the thread that runs the plugin's calls, about every
    // millisecond from StartSampling to StopSampling; none where they
    // cannot be taken.
    virtual void StartSampling(const std::wstring& /*module*/) {}
    virtual std::vector<SampledStack> StopSampling() { return {}; }
    // How long one call may take from now on, in milliseconds, within the
    // check's own limit; 0: that limit again. Where a hang ends the whole
    // check (in this process), there is nothing to shorten.
    virtual void LimitCalls(double /*milliseconds*/) {}
    // From now on the runs of the plugin at `path` note the lines they
    // reach; false with the reason in words where they cannot.
    virtual bool StartCoverage(const std::wstring& /*path*/, std::wstring& why) {
        why =
            L"Die Zeilenabdeckung gibt es nur mit dem Plugin in seinem eigenen Prozess "
            L"(ohne --in-process).";
        return false;
    }
    // Before each run: a process the plugin runs in anew notes them too.
    virtual void KeepCoverage() {}
    // The lines reached so far.
    virtual LineCoverage Coverage() { return {}; }
    // How many of the marks on the lines the runs reached so far.
    virtual std::size_t MarksReached() { return 0; }
    // The plugin's own words: the texts of its read-only data.
    virtual std::vector<std::wstring> PluginStrings() { return {}; }
    virtual void StopCoverage() {}
};

// Both, as the machine gives them to a check.
class CheckSystem : public CheckFiles, public CheckProbe {};

}  // namespace dllscope
