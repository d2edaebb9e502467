// The check's own runs of a plugin: the author's cases, the stress inputs,
// and the pages fuzzing and profiling start from.
#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <string>
#include <utility>

#include "changes/unified_diff.h"
#include "check/check_exchange.h"
#include "check/fuzz.h"
#include "check/judge.h"
#include "check/plugin_check.h"
#include "common/error_report.h"
#include "common/paths.h"
#include "common/utf8.h"
#include "host/host_errors.h"
#include "plugin/bridge_cycle.h"

namespace dllscope {

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

// The pages fuzzing and profiling start from: the cases', else the
// built-in ones.
std::vector<std::wstring> PluginCheck::Seeds() {
    std::vector<std::wstring> seeds;
    if (!options_.casesFolder.empty()) {
        for (const CaseFiles& c :
             FindCases(options_.casesFolder, system_.FileNames(options_.casesFolder))) {
            std::string bytes;
            if (system_.ReadFile(c.input, bytes)) seeds.push_back(system_.DecodeFile(bytes));
        }
    }
    if (seeds.empty()) seeds = BuiltInSeeds();
    return seeds;
}

// The pages an earlier guided fuzzing kept (--corpus).
std::vector<std::wstring> PluginCheck::CorpusPages() {
    std::vector<std::wstring> pages;
    if (options_.corpusFolder.empty()) return pages;
    std::vector<std::wstring> names = system_.FileNames(options_.corpusFolder);
    std::sort(names.begin(), names.end());  // the same corpus, the same pages
    for (const std::wstring& name : names) {
        std::string bytes;
        if (system_.ReadFile(InFolder(options_.corpusFolder, name), bytes))
            pages.push_back(system_.DecodeFile(bytes));
    }
    return pages;
}

// A page that reached new lines, saved in the corpus under its hash (a
// page found again is the same file).
void PluginCheck::KeepInCorpus(const std::wstring& page) {
    if (options_.corpusFolder.empty()) return;
    const std::string bytes = ToUtf8(page);
    wchar_t name[24];
    std::swprintf(name, 24, L"%016llx.html", static_cast<unsigned long long>(Fnv1a(bytes)));
    system_.WriteFile(InFolder(options_.corpusFolder, name), "\xEF\xBB\xBF" + bytes);
}

// A page that failed, saved with --save-failures as --input reads it back
// (UTF-8 behind its mark): where it went, or empty.
std::wstring PluginCheck::SaveFailure(const std::wstring& name, const std::wstring& page) {
    if (options_.saveFailures.empty()) return std::wstring();
    const std::wstring file = InFolder(options_.saveFailures, name);
    return system_.WriteFile(file, "\xEF\xBB\xBF" + ToUtf8(page)) ? file : std::wstring();
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

// One run on `input`: fault, hang, time and size.
CaseResult PluginCheck::RunOn(const std::wstring& path, const std::wstring& name,
                              const std::wstring& input, const Kept* kept) {
    CaseResult result;
    result.name = name;
    result.verdict = Verdict::Passed;
    result.charactersIn = input.size();
    CheckExchange exchange(system_, input);
    if (!kept) system_.KeepCoverage();
    std::wstring passable = kept ? kept->passable : system_.Passable(path);
    const double start = system_.Milliseconds();
    const auto run = [&](std::int16_t code) {
        RunInModeOf(code, bridge_, passable, exchange);
        if (code == kFileNameToPlugin) {
            std::string after;
            system_.ReadFile(exchange.exchangeFile, after);
            exchange.output = system_.DecodeFile(after);
        }
    };
    try {
        if (kept) {
            run(kept->code);
        } else {
            RunBridgeCycle(libraries_, bridgePath_, path,
                           [&](LibraryHandle) { run(bridge_.PluginBackvalue(passable)); });
        }
    } catch (const std::exception& e) {
        result.milliseconds = system_.Milliseconds() - start;
        // A fault fails the case; a hang or the end of the plugin's process is an error of it.
        result.verdict = dynamic_cast<const PluginProcessHung*>(&e)    ? Verdict::Hang
                         : dynamic_cast<const PluginProcessEnded*>(&e) ? Verdict::Ended
                                                                       : Verdict::Failed;
        result.problem = ErrorWords(e);
        if (const auto* hung = dynamic_cast<const PluginProcessHung*>(&e))
            result.hang = HangOf(*hung), result.stack = hung->Place().stack;
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

namespace dllscope {

// The bridge and the plugin loaded once more than their cycles load them,
// so that those cycles neither load nor free them; the return type asked
// once. False where that fails: the run goes through a cycle of its own.
bool PluginCheck::Pages::Keep() {
    check_.system_.KeepCoverage();
    try {
        bridge_ = check_.libraries_.Load(check_.bridgePath_);
        plugin_ = bridge_ ? check_.libraries_.Load(path_) : 0;
        if (!plugin_) {
            Release();
            return false;
        }
        Kept kept{0, check_.system_.Passable(path_)};
        std::wstring asked = kept.passable;
        kept.code = check_.bridge_.PluginBackvalue(asked);
        kept_ = std::move(kept);
        return true;
    } catch (const std::exception&) {
        Release();
        return false;
    }
}

// A run that fails lets the plugin go: its process may have ended with it,
// and what the plugin keeps may be broken.
CaseResult PluginCheck::Pages::RunKept(const std::wstring& name, const std::wstring& page,
                                       bool& fresh) {
    fresh = !kept_;
    if (!kept_ && !Keep()) return RunPage(name, page);
    CaseResult result = check_.RunOn(path_, name, page, &*kept_);
    if (result.verdict != Verdict::Passed) Release();
    return result;
}

// What a free does wrong here is no finding: the cycles of their own,
// which load and free, are where it shows.
void PluginCheck::Pages::Release() {
    kept_.reset();
    for (LibraryHandle* held : {&plugin_, &bridge_}) {
        const LibraryHandle handle = std::exchange(*held, 0);
        if (!handle) continue;
        try {
            check_.libraries_.Free(handle);
        } catch (const std::exception&) {
        }
    }
}

}  // namespace dllscope
