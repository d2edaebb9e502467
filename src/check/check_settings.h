#pragma once
// What the check of one plugin is asked to do: the page of its run, what
// the output must be and where it goes, how many cycles, the cases, the
// stress inputs, the fuzzing and the profile. The command line fills one;
// the examination window fills another.
#include <cstdint>
#include <optional>
#include <string>

namespace dllscope {

struct CheckSettings {
    std::optional<std::wstring> text;
    std::wstring inputFile;   // the run's page, read as the pane reads a file
    std::wstring outputFile;  // where the output goes instead of the report
    std::optional<int> expectType;
    std::wstring expectOutput;  // a file whose bytes the output must equal
    int repeat = 1;
    bool runTypeZero = false;
    std::wstring casesFolder;           // pages with their expected output
    bool stress = false;                // the inputs authors forget
    std::wstring saveFailures;          // where a failing page is saved
    int fuzzSeconds = 0;                // how long pages made to break the plugin are tried
    std::optional<std::uint64_t> seed;  // the fuzzing's pages, repeated exactly
    bool profile = false;               // how the plugin's cost grows with its page
    bool coverage = false;              // which lines of the plugin the runs reach
    std::wstring corpusFolder;          // pages the guided fuzzing starts from and adds to
    std::string maxGrowth;              // a growth worse than this fails ("n log n"); empty: none
    bool inProcess = false;             // the plugin runs in the checking process itself
};

}  // namespace dllscope
