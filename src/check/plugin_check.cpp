#include "check/plugin_check.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

#include "changes/unified_diff.h"
#include "common/error_report.h"
#include "common/runtime_error.h"
#include "common/utf8.h"
#include "common/paths.h"
#include "check/check_exchange.h"
#include "check/fuzz_campaign.h"
#include "check/judge.h"
#include "check/profile_run.h"
#include "plugin/bridge_cycle.h"
#include "plugin/stack_note.h"
#include "diagnosis/pe_image.h"
#include "host/host_errors.h"

namespace dllscope {
namespace {

class Answers : public PluginAnswers {
  public:
    void ReturnType(std::int16_t c) override { code = c; }
    void Name(const std::wstring& n) override { name = n; }
    void Description(const std::wstring& d) override { description = d; }
    std::int16_t code = 0;
    std::wstring name, description;
};

HangRecord HangOf(const PluginProcessHung& e) {
    return {e.Call(), e.Milliseconds() / 1000.0, e.Place()};
}

}  // namespace

std::wstring PluginCheck::Input() {
    if (options_.text) return *options_.text;
    if (options_.inputFile.empty()) return kDefaultCheckPage;
    std::string bytes;
    system_.ReadFile(options_.inputFile, bytes);
    return system_.DecodeFile(bytes);
}

// One cycle as selecting and running the plugin in Dllscope: false when it
// ended early (nothing is freed then).
bool PluginCheck::Cycle(const std::wstring& path, bool first, PluginReport& r) {
    std::wstring passable = system_.Passable(path);
    try {
        RunBridgeCycle(libraries_, bridgePath_, path, [&](LibraryHandle plugin) {
            if (first) loaded_ = plugin != 0;
            if (!plugin && first) r.diagnosis = system_.WhyNotLoaded(path);
            Answers answers;
            AskWhatThePluginReports(bridge_, passable, answers);
            if (first) {
                r.code = answers.code;
                r.name = answers.name;
                r.description = answers.description;
                if (answers.code == -1 && r.diagnosis.empty()) r.diagnosis = answers.description;
            }
            const std::int16_t code = answers.code;
            if ((code >= 1 && code <= 3) || (code == 0 && options_.runTypeZero))
                Run(code, passable, first, r);
        });
        return true;
    } catch (const RuntimeError& e) {
        FaultRecord fault;
        if (system_.AsFault(e, fault)) {
            r.faults.push_back(fault);
        } else {
            // The plugin's own process ended or did not answer: a verdict like any other.
            if (const auto* hung = dynamic_cast<const PluginProcessHung*>(&e))
                r.hang = HangOf(*hung);
            r.hung = r.hang.has_value();
            r.problems.push_back(e.Description());
        }
    } catch (const std::exception& e) {
        r.problems.push_back(ErrorWords(e));
    }
    return false;
}

void PluginCheck::Run(std::int16_t code, std::wstring& pluginPath, bool keep, PluginReport& r) {
    CheckExchange exchange(system_, Input());
    const double start = system_.Milliseconds();
    RunInModeOf(code, bridge_, pluginPath, exchange);
    if (code == kFileNameToPlugin) {
        std::string bytes;
        system_.ReadFile(exchange.exchangeFile, bytes);
        exchange.output = system_.DecodeFile(bytes);
    }
    const double ms = system_.Milliseconds() - start;
    if (!keep) return;
    const std::wstring& input = exchange.Input();
    if (const auto beyond = system_.BeyondAnsi(input, 10); !beyond.empty())
        exchange.warnings.insert(exchange.warnings.begin(), BeyondAnsiWarning(beyond));
    r.warnings.insert(r.warnings.end(), exchange.warnings.begin(), exchange.warnings.end());
    r.runs.push_back({input.size(), exchange.output.size(), ms});
    if (code != kNothing) Compare(exchange.output, r);
}

// The output against --expect-output, then to --output or into the report.
void PluginCheck::Compare(const std::wstring& output, PluginReport& r) {
    const std::string bytes = ToUtf8(output);
    if (!options_.expectOutput.empty()) {
        std::string expected;
        if (!system_.ReadFile(options_.expectOutput, expected)) {
            r.problems.push_back(L"Die erwartete Ausgabe \u201E" + options_.expectOutput +
                                 L"\u201C kann nicht gelesen werden.");
        } else if (Difference d; FirstDifference(expected, bytes, d)) {
            r.problems.push_back(L"Das Ergebnis weicht von \u201E" + options_.expectOutput +
                                 L"\u201C ab, zuerst in Zeile " + std::to_wstring(d.line) +
                                 L" (Byte " + std::to_wstring(d.byte) + L"):\n    erwartet: " +
                                 system_.FromUtf8(d.expected) + L"\n    erhalten: " +
                                 system_.FromUtf8(d.actual));
        }
    }
    if (!options_.outputFile.empty()) {
        if (!system_.WriteFile(options_.outputFile, bytes)) {
            r.problems.push_back(L"Die Ausgabedatei \u201E" + options_.outputFile +
                                 L"\u201C kann nicht geschrieben werden.");
        }
    } else {
        r.output = output;
    }
}

void PluginCheck::Check(const std::wstring& path, PluginReport& r) {
    std::string bytes;
    system_.ReadFile(path, bytes);
    const PeImage image = ReadPeImage(bytes);
    r.bits = image.bits;
    std::vector<CycleUsage> usage;
    const int warmUp = WarmUpCycles(options_.repeat);
    strays_.clear();
    for (int cycle = 1; cycle <= options_.repeat; ++cycle) {
        const bool ended = Cycle(path, cycle == 1, r);
        NoteStrayProcesses(r);
        NoteStackWarnings(r);
        if (!ended) return;
        r.cycles = cycle;
        if (options_.repeat == 1) break;
        usage.push_back(system_.Usage(cycle == warmUp));
    }
    if (options_.expectType && (!r.code || *r.code != *options_.expectType)) {
        r.problems.push_back(L"Der Rückgabetyp ist " +
                             (r.code ? std::to_wstring(*r.code) : std::wstring(L"unbekannt")) +
                             L", erwartet war " + std::to_wstring(*options_.expectType) + L".");
    }
    // What a DLL that never loaded leaves is the loader's, not its own.
    if (usage.size() > 1 && loaded_)
        r.leaks = JudgeGrowth(usage, system_.NewHandleTypes(), Imports(image, "msvcrt.dll"));
    // The cases, each a run of its own, for a plugin that runs at all.
    const bool runs =
        r.code && ((*r.code >= 1 && *r.code <= 3) || (*r.code == 0 && options_.runTypeZero));
    if (!runs) return;
    RunCases(path, r);
    Pages pages(*this, path, r);
    if (options_.fuzzSeconds > 0) {
        const std::uint64_t seed =
            options_.seed ? *options_.seed
                          : static_cast<std::uint64_t>(system_.Milliseconds()) % 1000000000;
        FuzzCampaign campaign(pages, Seeds(), seed, options_.fuzzSeconds, FileNameOf(path));
        r.fuzz = campaign.Run(r.cases);
    }
    if (options_.profile && !stopped_) {
        ProfileRun profile(pages, Seeds());
        if (auto p = profile.Run(r.cases)) r.profile = std::move(*p);
    }
    NoteStackWarnings(r);
}

// The author's cases and the stress inputs, each a run of its own.
void PluginCheck::RunCases(const std::wstring& path, PluginReport& r) {
    if (!options_.casesFolder.empty()) {
        for (const CaseFiles& c :
             FindCases(options_.casesFolder, system_.FileNames(options_.casesFolder))) {
            r.cases.push_back(RunCase(path, c));
            NoteStrayProcesses(r);
            NoteStackWarnings(r);
        }
    }
    if (options_.stress) {
        for (const StressInput& s : StressInputs()) {
            r.cases.push_back(RunOn(path, s.name, s.text));
            r.cases.back().stress = true;
            NoteStrayProcesses(r);
            NoteStackWarnings(r);
            if (r.cases.back().verdict != Verdict::Passed) SaveFailure(s.name, s.text);
        }
    }
}

bool PluginCheck::Going(const std::wstring& stage, double done) {
    if (!stopped_ && progress_) stopped_ = !progress_->Going(stage, std::min(1.0, done));
    return !stopped_;
}

// The pages fuzzing and profiling start from: the cases', else the built-in ones.
std::vector<std::wstring> PluginCheck::Seeds() {
    std::vector<std::wstring> seeds;
    if (!options_.casesFolder.empty()) {
        for (const CaseFiles& c :
             FindCases(options_.casesFolder, system_.FileNames(options_.casesFolder))) {
            std::string bytes;
            if (system_.ReadFile(c.input, bytes)) seeds.push_back(system_.DecodeFile(bytes));
        }
    }
    return seeds.empty() ? BuiltInSeeds() : seeds;
}

// A page that failed, saved with --save-failures as --input reads it back
// (UTF-8 behind its mark): where it went, or empty.
std::wstring PluginCheck::SaveFailure(const std::wstring& name, const std::wstring& page) {
    if (options_.saveFailures.empty()) return std::wstring();
    const std::wstring file = InFolder(options_.saveFailures, name);
    return system_.WriteFile(file, "\xEF\xBB\xBF" + ToUtf8(page)) ? file : std::wstring();
}

// A process the plugin started and left running is warned about once.
void PluginCheck::NoteStrayProcesses(PluginReport& r) {
    for (const std::wstring& program : system_.StrayProcesses()) {
        if (std::find(strays_.begin(), strays_.end(), program) != strays_.end()) continue;
        strays_.push_back(program);
        r.warnings.push_back(L"Das Plugin hat den Prozess \u201E" + program +
                             L"\u201C gestartet, der nach seinem Aufruf noch lief" +
                             (options_.inProcess
                                  ? std::wstring(L"; er läuft weiter.")
                                  : std::wstring(L"; er wird mit dem Plugin-Prozess beendet.")));
    }
}

// An export that breaks Tagsmith's calling convention fails the check: in
// the 32-bit editor every call of it leaves the stack unbalanced.
void PluginCheck::NoteStackWarnings(PluginReport& r) {
    for (const std::wstring& warning : bridge_.TakeStackWarnings()) AddOnce(r.problems, warning);
}

// One case: a bridge cycle with the run that "PluginRun" does on its page,
// the output compared with the expected page as UTF-8, line breaks exactly.
CaseResult PluginCheck::RunCase(const std::wstring& path, const CaseFiles& files) {
    CaseResult result;
    result.name = files.name;
    result.verdict = Verdict::Passed;
    std::string bytes;
    if (!system_.ReadFile(files.input, bytes)) {
        result.verdict = Verdict::Failed;
        result.problem = L"Die Seite \u201E" + files.input + L"\u201C kann nicht gelesen werden.";
        return result;
    }
    result = RunOn(path, files.name, system_.DecodeFile(bytes));
    if (result.verdict != Verdict::Passed || files.expected.empty()) return result;
    std::string expectedBytes;
    if (!system_.ReadFile(files.expected, expectedBytes)) {
        result.verdict = Verdict::Failed;
        result.problem =
            L"Die erwartete Seite \u201E" + files.expected + L"\u201C kann nicht gelesen werden.";
        return result;
    }
    const std::string expected = ToUtf8(system_.DecodeFile(expectedBytes));
    const std::string actual = ToUtf8(output_);
    if (expected == actual) return result;
    result.verdict = Verdict::Failed;
    const std::wstring expectedName = FileNameOf(files.expected);
    result.problem = L"Das Ergebnis weicht von \u201E" + expectedName + L"\u201C ab.";
    result.diff = system_.FromUtf8(UnifiedDiff(expected, actual, ToUtf8(expectedName), "Ergebnis"));
    return result;
}

// One run on `input` in a bridge cycle of its own: fault, hang, time and size.
CaseResult PluginCheck::RunOn(const std::wstring& path, const std::wstring& name,
                              const std::wstring& input) {
    CaseResult result;
    result.name = name;
    result.verdict = Verdict::Passed;
    result.charactersIn = input.size();
    CheckExchange exchange(system_, input);
    std::wstring passable = system_.Passable(path);
    const double start = system_.Milliseconds();
    try {
        RunBridgeCycle(libraries_, bridgePath_, path, [&](LibraryHandle) {
            const std::int16_t code = bridge_.PluginBackvalue(passable);
            RunInModeOf(code, bridge_, passable, exchange);
            if (code == kFileNameToPlugin) {
                std::string after;
                system_.ReadFile(exchange.exchangeFile, after);
                exchange.output = system_.DecodeFile(after);
            }
        });
    } catch (const std::exception& e) {
        result.milliseconds = system_.Milliseconds() - start;
        // A fault fails the case; a hang or the end of the plugin's process is an error of it.
        result.verdict = dynamic_cast<const PluginProcessHung*>(&e)    ? Verdict::Hang
                         : dynamic_cast<const PluginProcessEnded*>(&e) ? Verdict::Ended
                                                                       : Verdict::Failed;
        result.problem = ErrorWords(e);
        if (const auto* hung = dynamic_cast<const PluginProcessHung*>(&e)) {
            result.hang = HangOf(*hung);
            result.stack = hung->Place().stack;
        }
        FaultRecord fault;
        if (system_.AsFault(e, fault)) {
            result.place = fault.place.empty() ? fault.where : fault.place;
            result.faultKind = fault.kind;
            result.stack = fault.stack;
        }
        return result;
    }
    result.milliseconds = system_.Milliseconds() - start;
    result.charactersIn = exchange.Input().size();
    result.charactersOut = exchange.output.size();
    output_ = std::move(exchange.output);
    return result;
}

}  // namespace dllscope
