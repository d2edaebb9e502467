#pragma once
// What dllscope-check found out about one plugin, and how it says so: one
// German line per check for people, one JSON object for machines.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/process_usage.h"
#include "guard/fault_record.h"

namespace dllscope {

struct CheckRun {
    std::size_t charactersIn = 0, charactersOut = 0;
    double milliseconds = 0;
};

struct CheckLeak {
    std::wstring what;      // "Handles", "privater Speicher (Bytes)"
    long long growth = 0;   // over the steady cycles
    int cycles = 0;         // the steady cycles: all but the first ones (warm-up)
    std::wstring perCycle;  // "2 Handles (Ereignis, Thread) je Zyklus", "70 KiB je Zyklus"
    std::wstring hint;      // what to do, when the pattern is a known one
};

// What the process holds after one cycle.
using CycleUsage = ProcessUsage;

// The cycles that count as warm-up before the growth is measured: the first
// fifth, at least one.
int WarmUpCycles(int cycles);

// The leaks shown by the usage after each cycle (`afterCycle`, one entry a
// cycle): the steady growth from the end of the warm-up to the last cycle.
// `newHandleTypes` are the system's type names of the handles that came in
// that time ("Event", "Thread", ...), `mingwRuntime` whether the plugin
// links the MinGW C runtime (for the hint).
std::vector<CheckLeak> JudgeGrowth(const std::vector<CycleUsage>& afterCycle,
                                   const std::vector<std::wstring>& newHandleTypes,
                                   bool mingwRuntime);

// Warnings about a run's text that do not fail the plugin (unless --strict).
// A type-1 result whose bytes look like UTF-16 (NULs between ASCII characters).
bool LooksLikeUtf16(const std::wstring& result);
std::wstring Utf16Warning();
// The input's characters that the ANSI code page cannot carry.
std::wstring BeyondAnsiWarning(const std::vector<std::wstring>& characters);

// Where an output differs from the expected one: the first differing line
// (1-based) of both, and the byte where they part; false when they are equal.
struct Difference {
    std::size_t line = 0, byte = 0;
    std::string expected, actual;  // the lines, without their line break, cut at 200 bytes
};
bool FirstDifference(const std::string& expected, const std::string& actual, Difference& where);

// What became of a case's run (or of a plugin's whole check).
enum class Verdict {
    Passed,
    Failed,  // a fault too
    Hang,
    Ended,  // its process ended
    Leak,   // the fuzzing's: what the process holds grew with each run of its page
};
// As the JSON names it: "passed", "failed", "hang", "ended", "leak".
const char* VerdictName(Verdict verdict);
// As the report for people says it: "bestanden", "hängt", "nicht bestanden".
std::wstring VerdictWords(Verdict verdict);

// One test case's run: its page in, compared with its expected page.
struct CaseResult {
    std::wstring name;
    bool stress = false;  // one of --stress's inputs, not the author's own case
    Verdict verdict = Verdict::Passed;
    double milliseconds = 0;
    std::size_t charactersIn = 0, charactersOut = 0;
    std::wstring problem;      // why it did not pass
    std::wstring diff;         // a mismatch: the unified diff, whole
    bool fuzz = false;         // a finding of --fuzz (or its summary): named as it is
    std::wstring place{};      // a fault's place ("x.dll!TsRun+0x1C"), when it faulted,
    std::wstring faultKind{};  // and its kind ("Zugriffsverletzung")
};

// What a plugin wrote to its standard output and error while it was checked
// (its children's too): the first kPluginOutputKept bytes, decoded, and the
// count of all.
inline constexpr std::size_t kPluginOutputKept = 64 * 1024;
struct PluginOutput {
    std::wstring text;
    unsigned long long bytes = 0;  // all that came
    unsigned long long leftOut() const {
        return bytes > kPluginOutputKept ? bytes - kPluginOutputKept : 0;
    }
};

// What --fuzz found: each finding shrunk to its smallest page.
struct FuzzFinding {
    std::wstring kind;      // "Zugriffsverletzung", "hängt", "beendet den Prozess", "Leck", ...
    std::wstring place;     // where it faulted, what leaked ("Handles"), or empty
    std::wstring message;   // the report, as a case's problem
    std::wstring mutation;  // the mutation that made the page
    std::wstring input;     // the smallest page that still fails so
    std::size_t bytes = 0;  // its size in UTF-8
    std::wstring file;      // where --save-failures put it, or empty
};
// "Zugriffsverletzung in x.dll!TsRun+0x1C", "Leck (Handles)", "hängt".
std::wstring FindingTitle(const FuzzFinding& finding);
struct FuzzSummary {
    std::uint64_t seed = 0;
    int runs = 0;
    double seconds = 0;
    std::vector<FuzzFinding> findings;
};

// What --profile measured: for each size (in characters) the median time
// and the peak of committed memory, and the growth fitted to them.
struct ProfileSummary {
    std::vector<double> sizes, milliseconds, peakBytes;
    double exponent = 0;
    std::string growth;    // "linear", "n log n", "quadratisch", "schneller als quadratisch"
    std::wstring words;    // "wächst quadratisch (Exponent 2,0): …"
    std::wstring stopped;  // why it stopped before 64 MiB or 2 s, when a run failed
};

struct PluginReport {
    std::wstring file;
    int bits = 0;             // of the file; 0: no Windows executable
    std::wstring diagnosis;   // why it is no plugin, when it is none
    std::optional<int> code;  // the return-type code
    std::wstring name, description;
    std::vector<CheckRun> runs;
    std::vector<FaultRecord> faults;
    std::vector<CheckLeak> leaks;
    std::vector<std::wstring> problems;  // every other reason it failed
    std::vector<std::wstring> warnings;  // what is probably wrong
    bool warningsFail = false;           // --strict
    int cycles = 0;                      // how many cycles ran to their end
    bool hung = false;
    std::optional<std::wstring> output;  // the run's result, in the JSON when it goes nowhere else
    std::vector<CaseResult> cases;       // --cases
    std::optional<PluginOutput> pluginOutput;
    std::optional<FuzzSummary> fuzz;        // --fuzz
    std::optional<ProfileSummary> profile;  // --profile

    bool Passed() const {
        return diagnosis.empty() && problems.empty() && faults.empty() && leaks.empty() && !hung &&
               (!warningsFail || warnings.empty()) &&
               std::all_of(cases.begin(), cases.end(),
                           [](const CaseResult& c) { return c.verdict == Verdict::Passed; });
    }
    bool Hung() const {
        return hung || std::any_of(cases.begin(), cases.end(),
                                   [](const CaseResult& c) { return c.verdict == Verdict::Hang; });
    }
};

// A text as one line of the report: line breaks and control characters made
// visible ("\\n", "\\x1B"), so that nothing a plugin says can start a line.
std::wstring Visible(const std::wstring& text);
// A text of many lines, each on a line of its own behind `indent` and "| ".
std::wstring Block(const std::wstring& text, const std::wstring& indent);

// The first `lines` lines of a text, and a line saying how many were left out.
std::wstring FirstLines(const std::wstring& text, std::size_t lines);

// A JSON string (UTF-8, escaped, quoted).
std::string JsonString(const std::wstring& text);
std::string PluginJson(const PluginReport& report);
// The lines for people, each ending in "\n".
std::wstring PluginText(const PluginReport& report);
// "Fälle: 3 von 4 bestanden" over the cases of `reports`; empty when there were none.
std::wstring CasesSummary(const std::vector<PluginReport>& reports);
// 0 every plugin passed, 3 one hung, else 1.
int CheckExitCode(const std::vector<PluginReport>& reports);

}  // namespace dllscope
