#pragma once
// The command line of dllscope-check.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dllscope {

struct CheckOptions {
    std::vector<std::wstring> plugins;
    std::wstring bridge;  // empty: modbridge.dll beside the checker
    std::optional<std::wstring> text;
    std::wstring inputFile;   // --input
    std::wstring outputFile;  // --output
    std::optional<int> expectType;
    std::wstring expectOutput;  // a file whose bytes the output must equal
    int repeat = 1;
    int timeoutSeconds = 30;
    bool runTypeZero = false;
    bool json = false;
    bool strict = false;                // warnings fail the plugin
    std::wstring casesFolder;           // --cases: pages with their expected output
    std::wstring junitFile;             // --junit: the JUnit XML report
    bool stress = false;                // --stress: the inputs authors forget
    std::wstring saveFailures;          // --save-failures: where a failing stress input is saved
    int fuzzSeconds = 0;                // --fuzz: how long pages made to break the plugin are tried
    std::optional<std::uint64_t> seed;  // --seed: the fuzzing's pages, repeated exactly
    bool profile = false;               // --profile: how the plugin's cost grows with its page
    bool inProcess = false;             // the plugins in the checker's process, not each in a host
    bool help = false;                  // --help: the usage, nothing checked
    bool version = false;               // --version: the checker's version, nothing checked
};

// The options (with `help` or `version` set and nothing else required for them), or the German
// reason why the command line is wrong (`error`).
std::optional<CheckOptions> ParseCheckArguments(const std::vector<std::wstring>& arguments,
                                                std::wstring& error);

extern const wchar_t kCheckUsage[];

}  // namespace dllscope
