#pragma once
// What dllscope-check finds out about one plugin, as records: its runs,
// faults, leaks, cases, fuzzing and profile. How they are judged and said
// is the report's (check_report.h).
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "guard/fault_record.h"
#include "host/process_usage.h"
#include "sampling/code_samples.h"
#include "sampling/line_coverage.h"

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

// Where an output differs from the expected one: the first differing line
// (1-based) of both, and the byte where they part; false when they are equal.
struct Difference {
    std::size_t line = 0, byte = 0;
    std::string expected, actual;  // the lines, without their line break, cut at 200 bytes
};
// What became of a case's run (or of a plugin's whole check).
enum class Verdict {
    Passed,
    Failed,  // a fault too
    Hang,
    Ended,  // its process ended
    Leak,   // the fuzzing's: what the process holds grew with each run of its page
};
// A call that ran past the time limit: which, how long, where it was found.
struct HangRecord {
    std::wstring call;
    double seconds = 0;
    HangPlace place;
};

// One test case's run: its page in, compared with its expected page.
struct CaseResult {
    std::wstring name;
    bool stress = false;  // one of --stress's inputs, not the author's own case
    Verdict verdict = Verdict::Passed;
    double milliseconds = 0;
    std::size_t charactersIn = 0, charactersOut = 0;
    std::wstring problem;             // why it did not pass
    std::wstring diff;                // a mismatch: the unified diff, whole
    bool fuzz = false;                // a finding of --fuzz (or its summary): named as it is
    std::wstring place{};             // a fault's place ("x.c:24 (HandleTag)"), when it faulted,
    std::wstring faultKind{};         // its kind ("Zugriffsverletzung")
    std::vector<StackFrame> stack{};  // and its stack, or where it hung
    std::optional<HangRecord> hang{};
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
    std::vector<StackFrame> stack{};  // a fault's stack
    int afterRuns = 0;                // the campaign's runs when it was found
    double afterSeconds = 0;          // and its time
};
struct FuzzSummary {
    std::uint64_t seed = 0;
    int runs = 0;
    bool guided = false;  // by the lines the runs reached
    int grown = 0;        // the pages that joined the corpus, each for a line no page reached
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
    std::vector<LineShare> hotspots;  // where the time of a large page goes
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
    std::vector<std::wstring> notes;     // what the check saw that is not the plugin's doing
    bool warningsFail = false;           // --strict
    int cycles = 0;                      // how many cycles ran to their end
    bool hung = false;
    std::optional<HangRecord> hang;      // where the call that hung was found
    std::optional<std::wstring> output;  // the run's result, in the JSON when it goes nowhere else
    std::vector<CaseResult> cases;       // --cases
    std::optional<PluginOutput> pluginOutput;
    std::optional<FuzzSummary> fuzz;        // --fuzz
    std::optional<ProfileSummary> profile;  // --profile
    // --coverage: the lines the check's own runs, the cases and the stress
    // inputs reached; with the fuzzing's runs too (where no coverage can be
    // had, a note says why).
    std::optional<LineCoverage> coverage, fuzzCoverage;

    bool Passed() const {
        return diagnosis.empty() && problems.empty() && faults.empty() && leaks.empty() && !hung &&
               (!warningsFail || warnings.empty()) &&
               std::all_of(cases.begin(), cases.end(),
                           [](const CaseResult& c) { return c.verdict == Verdict::Passed; });
    }
    // The first hang: of the plugin's own calls, else of a case.
    const HangRecord* FirstHang() const {
        if (hang) return &*hang;
        for (const CaseResult& c : cases)
            if (c.hang) return &*c.hang;
        return nullptr;
    }
    bool Hung() const {
        return hung || std::any_of(cases.begin(), cases.end(),
                                   [](const CaseResult& c) { return c.verdict == Verdict::Hang; });
    }
};

}  // namespace dllscope
