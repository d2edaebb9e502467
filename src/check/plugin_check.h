#pragma once
// The check of one plugin: the cycle that selecting it in Dllscope runs and
// the run that "PluginRun" does, through the shared plugin cycle, as often
// as asked; then the return type, the output and the growth judged. What it
// needs of the machine comes through CheckSystem.
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "common/paths.h"
#include "check/check_cases.h"
#include "check/check_records.h"
#include "check/check_settings.h"
#include "check/check_system.h"
#include "check/page_runner.h"
#include "plugin/bridge.h"

namespace dllscope {

class PluginProcessHung;
// A hang as the report keeps it.
HangRecord HangOf(const PluginProcessHung& e);

// Who follows the long parts of a check (the fuzzing and the profile) and
// may stop them.
class CheckProgress {
  public:
    virtual ~CheckProgress() = default;
    // Where the check stands: `stage` in words, `done` from 0 to 1 of that
    // stage. False stops the check where it stands; what was found so far
    // stays in the report, the run the stop ended is no finding.
    virtual bool Going(const std::wstring& stage, double done) = 0;
};

class PluginCheck {
  public:
    PluginCheck(const CheckSettings& options, Libraries& libraries, Bridge& bridge,
                CheckSystem& system, std::wstring bridgePath)
        : options_(options),
          libraries_(libraries),
          bridge_(bridge),
          system_(system),
          bridgePath_(std::move(bridgePath)) {}

    // Checks the plugin at `path` (a full path) into `report`.
    void Check(const std::wstring& path, PluginReport& report);
    void Follow(CheckProgress& progress) { progress_ = &progress; }

  private:
    bool Cycle(const std::wstring& path, bool first, PluginReport& r);
    void Run(std::int16_t code, std::wstring& pluginPath, bool keep, PluginReport& r);
    void Compare(const std::wstring& output, PluginReport& r);
    CaseResult RunCase(const std::wstring& path, const CaseFiles& files);
    // The plugin as a run with it kept loaded calls it: its return type and
    // its path as the bridge takes it.
    struct Kept {
        std::int16_t code = 0;
        std::wstring passable;
    };
    // One run on `input`: in a bridge cycle of its own, or with the plugin
    // kept loaded (`kept`).
    CaseResult RunOn(const std::wstring& path, const std::wstring& name, const std::wstring& input,
                     const Kept* kept = nullptr);
    std::wstring Input();
    void RunCases(const std::wstring& path, PluginReport& r);
    void FuzzAndProfile(const std::wstring& path, PluginReport& r, bool covering);
    std::vector<std::wstring> Seeds();
    std::vector<std::wstring> CorpusPages();
    void NoteStrayProcesses(PluginReport& r);
    void NoteStackWarnings(PluginReport& r);

    // Where the check stands, for the follower; false once it stopped the check.
    bool Going(const std::wstring& stage, double done);
    std::wstring SaveFailure(const std::wstring& name, const std::wstring& page);
    void KeepInCorpus(const std::wstring& page);
    class Pages;  // the fuzzing's and the profile's runs

    const CheckSettings& options_;
    Libraries& libraries_;
    Bridge& bridge_;
    CheckSystem& system_;
    std::wstring bridgePath_;
    std::wstring output_;               // the last case's output
    std::vector<std::wstring> strays_;  // the programs warned about
    bool loaded_ = false;               // the plugin's first load succeeded
    CheckProgress* progress_ = nullptr;
    bool stopped_ = false;  // the follower stopped the check
};

// The fuzzing's and the profile's pages, each a run of the plugin under check.
class PluginCheck::Pages : public PageRunner {
  public:
    Pages(PluginCheck& check, const std::wstring& path, PluginReport& report)
        : check_(check), path_(path), report_(report) {}
    ~Pages() override { Release(); }
    CaseResult RunPage(const std::wstring& name, const std::wstring& page) override {
        Release();
        return check_.RunOn(path_, name, page);
    }
    CaseResult RunKept(const std::wstring& name, const std::wstring& page, bool& fresh) override;
    void Release() override;
    std::size_t MarksReached() override { return check_.system_.MarksReached(); }
    void KeepInCorpus(const std::wstring& page) override { check_.KeepInCorpus(page); }
    void LimitCalls(double milliseconds) override { check_.system_.LimitCalls(milliseconds); }
    void AfterRun() override { check_.NoteStrayProcesses(report_); }
    std::vector<LineShare> HotSpots(const std::wstring& page) override {
        const std::wstring module = FileNameOf(path_);
        check_.system_.StartSampling(module);
        const CaseResult c = check_.RunOn(path_, L"Profil", page);
        const std::vector<SampledStack> samples = check_.system_.StopSampling();
        return c.verdict == Verdict::Passed ? HotLines(samples, module, 10)
                                            : std::vector<LineShare>();
    }
    CycleUsage Usage(bool remember) override { return check_.system_.Usage(remember); }
    std::vector<std::wstring> NewHandleTypes() override { return check_.system_.NewHandleTypes(); }
    double Milliseconds() override { return check_.system_.Milliseconds(); }
    bool Going(const std::wstring& stage, double done) override {
        return check_.Going(stage, done);
    }
    std::wstring SaveFailure(const std::wstring& name, const std::wstring& page) override {
        return check_.SaveFailure(name, page);
    }

  private:
    bool Keep();

    PluginCheck& check_;
    const std::wstring& path_;
    PluginReport& report_;
    LibraryHandle bridge_ = 0, plugin_ = 0;  // held while a plugin is kept loaded
    std::optional<Kept> kept_;
};

}  // namespace dllscope
