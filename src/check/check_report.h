#pragma once
// What dllscope-check found out about one plugin, and how it says so: one
// German line per check for people, one JSON object for machines.
#include <optional>
#include <string>
#include <vector>

namespace dllscope {

struct CheckFault {
    std::wstring call;  // "PluginRun", "LoadLibrary", ...
    std::wstring kind;  // "Zugriffsverletzung", ...
    unsigned long code = 0;
    std::wstring where;    // "crash.dll+0x1A2B", or empty
    std::wstring message;  // the whole report, as Dllscope shows it
};

struct CheckRun {
    std::size_t charactersIn = 0, charactersOut = 0;
    double milliseconds = 0;
};

struct CheckLeak {
    std::wstring what;  // "Handles", "privater Speicher (Bytes)"
    long long growth = 0, allowance = 0;
};

struct PluginReport {
    std::wstring file;
    int bits = 0;             // of the file; 0: no Windows executable
    std::wstring diagnosis;   // why it is no plugin, when it is none
    std::optional<int> code;  // the return-type code
    std::wstring name, description;
    std::vector<CheckRun> runs;
    std::vector<CheckFault> faults;
    std::vector<CheckLeak> leaks;
    std::vector<std::wstring> problems;  // every other reason it failed
    bool hung = false;
    std::optional<std::wstring> output;  // the run's result, in the JSON when it goes nowhere else

    bool Passed() const {
        return diagnosis.empty() && problems.empty() && faults.empty() && leaks.empty() && !hung;
    }
};

// A JSON string (UTF-8, escaped, quoted).
std::string JsonString(const std::wstring& text);
std::string PluginJson(const PluginReport& report);
// The lines for people, each ending in "\n".
std::wstring PluginText(const PluginReport& report);
// 0 every plugin passed, 3 one hung, else 1.
int CheckExitCode(const std::vector<PluginReport>& reports);

}  // namespace dllscope
