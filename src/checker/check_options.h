#pragma once
// The command line of dllscope-check.
#include <optional>
#include <string>
#include <vector>

#include "check/check_settings.h"

namespace dllscope {

struct CheckOptions {
    std::vector<std::wstring> plugins;
    std::wstring bridge;     // empty: modbridge.dll beside the checker
    CheckSettings settings;  // what the check of each plugin does
    int timeoutSeconds = 30;
    int jobs = 1;  // --jobs: plugins checked at once, each in its host; 0: one per core
    bool json = false;
    bool strict = false;             // warnings fail the plugin
    std::wstring junitFile;          // --junit: the JUnit XML report
    std::wstring sarifFile;          // --sarif: the findings as SARIF
    std::wstring coverageXml;        // --coverage-xml: the lines reached, as Cobertura
    bool githubAnnotations = false;  // --annotations github: the runner's workflow commands
    bool watch = false;              // --watch: check again after each change of the files named
    std::wstring sourceRoot;         // --source-root: source paths relative to it
    bool help = false;               // --help: the usage, nothing checked
    bool version = false;            // --version: the checker's version, nothing checked
};

// The options (with `help` or `version` set and nothing else required for them), or the German
// reason why the command line is wrong (`error`).
std::optional<CheckOptions> ParseCheckArguments(const std::vector<std::wstring>& arguments,
                                                std::wstring& error);

extern const wchar_t kCheckUsage[];

}  // namespace dllscope
