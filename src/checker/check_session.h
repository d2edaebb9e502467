#pragma once
// The report of a check as it grows, written out plugin by plugin: a plugin
// may end the process at any moment, and what is written stays written. A
// hang or a plugin's end of the process closes the report where it stands;
// so does whatever else ends the check early. Every end writes the JUnit
// report too, when one is asked for.
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "checker/check_options.h"
#include "check/check_report.h"
#include "guard/foreign_call.h"

namespace dllscope {

// 0 every plugin passed, 3 one hung, else 1.
int CheckExitCode(const std::vector<PluginReport>& reports);

class CheckSession {
  public:
    using Output = std::function<void(const std::string& utf8)>;
    CheckSession(const CheckOptions& options, Output out)
        : options_(options), out_(std::move(out)) {}

    // Where the JUnit report goes: `write` gives false when it cannot be
    // written, which makes the exit code 2.
    void WriteJUnitWith(std::function<bool(const std::string& xml)> write) {
        writeJUnit_ = std::move(write);
    }
    // Where the SARIF report goes, as the JUnit report.
    void WriteSarifWith(std::function<bool(const std::string& sarif)> write) {
        writeSarif_ = std::move(write);
    }
    // Where the Cobertura report of the lines reached goes, as the JUnit report.
    void WriteCoverageWith(std::function<bool(const std::string& xml)> write) {
        writeCoverage_ = std::move(write);
    }
    // Where the CI's annotations go (else with the report).
    void AnnotateTo(Output annotate) { annotate_ = std::move(annotate); }
    // What the plugin under check has printed so far, for a report closed early.
    void TakeOutputFrom(std::function<std::optional<PluginOutput>()> source) {
        outputSoFar_ = std::move(source);
    }

    // The head: the checker's version, its bits, the bridge.
    void Begin(const std::wstring& version, int bits, const std::wstring& bridgePath);
    // Checks one plugin with `check`, which fills the report; whatever it
    // throws ends that plugin's check only.
    void Check(const std::wstring& file, const std::function<void(PluginReport&)>& check);
    // The end of a whole check; the exit code.
    int End();
    // The check cannot go on (a setup error, or one of the checker's own):
    // the report closes with `why` and exit code 2.
    int Fail(const std::wstring& why);
    const std::vector<PluginReport>& Reports() const { return reports_; }

    // The plugin under check ended the process during `call`; the report
    // closes, and the exit code is given (1, or 2 when the JUnit report
    // cannot be written). Nothing when no plugin is under check.
    std::optional<int> EndedByPlugin(const std::wstring& call);
    // The plugin under check crashed the process where no guard stood (a
    // thread of its own): the report closes with `problem`, exit code 1.
    std::optional<int> CrashedByPlugin(const std::wstring& problem);
    // The plugin under check did not return from `call`; closes with 3.
    std::optional<int> Hung(const ForeignCall& call, unsigned long long milliseconds,
                            const HangPlace& place);

  private:
    int CloseEarly(const std::wstring& problem, int code);
    void Emit(PluginReport& r);
    void EmitWhole(const PluginReport& r);
    static PluginReport Brief(const PluginReport& r, const std::exception& e);
    bool WriteJUnit();
    void WriteCoverage(int& code);
    int Close(int code);
    void WriteFindings(int& code);

    const CheckOptions& options_;
    Output out_;
    std::function<bool(const std::string&)> writeJUnit_;
    std::function<bool(const std::string&)> writeSarif_;
    std::function<bool(const std::string&)> writeCoverage_;
    Output annotate_;
    std::function<std::optional<PluginOutput>()> outputSoFar_;
    std::vector<PluginReport> reports_;
    PluginReport* current_ = nullptr;
    bool finished_ = false;
    std::size_t emitted_ = 0;
    std::wstring error_;  // why the check ended early, when it did
    std::wstring version_;
};

}  // namespace dllscope
