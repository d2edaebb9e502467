#include "check/plugin_check.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

#include "common/error_report.h"
#include "common/runtime_error.h"
#include "common/utf8.h"
#include "check/check_exchange.h"
#include "check/fuzz_campaign.h"
#include "check/guided_mutations.h"
#include "check/judge.h"
#include "check/profile.h"
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

}  // namespace

HangRecord HangOf(const PluginProcessHung& e) {
    return {e.Call(), e.Milliseconds() / 1000.0, e.Place()};
}

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
    system_.KeepCoverage();
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
    const std::wstring input = Input();
    CheckExchange exchange(system_, input);
    const double start = system_.Milliseconds();
    RunInModeOf(code, bridge_, pluginPath, exchange);
    if (code == kFileNameToPlugin) {
        std::string bytes;
        system_.ReadFile(exchange.exchangeFile, bytes);
        exchange.output = system_.DecodeFile(bytes);
    }
    const double ms = system_.Milliseconds() - start;
    if (!keep) return;
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
    std::wstring noCoverage;
    struct Covering {
        CheckProbe& probe;
        bool on;
        ~Covering() {
            if (on) probe.StopCoverage();
        }
    } covering{system_, options_.coverage && system_.StartCoverage(path, noCoverage)};
    if (!noCoverage.empty()) r.notes.push_back(noCoverage);
    std::string bytes;
    system_.ReadFile(path, bytes);
    const PeImage image = ReadPeImage(bytes);
    r.bits = image.bits;
    std::vector<CycleUsage> usage;
    usage.reserve(static_cast<std::size_t>(std::min(options_.repeat, 1000)));
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
    if (usage.size() > 1 && loaded_) {
        r.leaks = JudgeGrowth(usage, system_.NewHandleTypes(), Imports(image, "msvcrt.dll"),
                              options_.inProcess);
        const std::wstring note = image.bits == 32 && LinksWinpthreadsStatically(bytes)
                                      ? TakeThreadRecordResidue(usage, r.leaks)
                                      : L"";
        if (!note.empty()) r.notes.push_back(note);
    }
    // The cases, each a run of its own, for a plugin that runs at all.
    const bool runs =
        r.code && ((*r.code >= 1 && *r.code <= 3) || (*r.code == 0 && options_.runTypeZero));
    if (!runs) return;
    RunCases(path, r);
    if (covering.on) r.coverage = system_.Coverage();
    FuzzAndProfile(path, r, covering.on);
    NoteStackWarnings(r);
}

// The long parts: the fuzzing, then the profile.
void PluginCheck::FuzzAndProfile(const std::wstring& path, PluginReport& r, bool covering) {
    if (options_.fuzzSeconds <= 0 && !options_.profile) return;
    Pages pages(*this, path, r);
    const std::vector<std::wstring> seeds = Seeds();
    std::vector<std::wstring> corpus = CorpusPages();
    std::vector<std::wstring> all = seeds;
    all.insert(all.end(), corpus.begin(), corpus.end());
    if (options_.fuzzSeconds > 0) {
        const std::uint64_t seed =
            options_.seed ? *options_.seed
                          : static_cast<std::uint64_t>(system_.Milliseconds()) % 1000000000;
        // Without the lines to guide it, an earlier corpus is seeds like any other.
        FuzzCampaign campaign(pages, covering ? seeds : all, seed, options_.fuzzSeconds,
                              FileNameOf(path));
        if (covering) {
            std::vector<std::wstring> tokens = PageTokens(all);
            for (const std::wstring& word : system_.PluginStrings()) tokens.push_back(word);
            campaign.Guide(std::move(tokens), std::move(corpus));
        }
        r.fuzz = campaign.Run(r.cases);
        if (covering) r.fuzzCoverage = system_.Coverage();
    }
    if (options_.profile && !stopped_) {
        ProfileRun profile(pages, all);
        if (auto p = profile.Run(r.cases)) {
            if (auto gate = GrowthGate(FileNameOf(path), *p, options_.maxGrowth))
                r.cases.push_back(*gate);
            r.profile = std::move(*p);
        }
    }
}

bool PluginCheck::Going(const std::wstring& stage, double done) {
    if (!stopped_ && progress_) stopped_ = !progress_->Going(stage, std::min(1.0, done));
    return !stopped_;
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

}  // namespace dllscope
