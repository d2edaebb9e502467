#pragma once
// Which lines of a plugin its runs reached: the places a breakpoint marks
// (the first address of each stretch of code of a line of the author's
// files, from the module's line table), and from the marks found reached,
// each source file's lines reached and missed and the stretches of missed
// lines with their function. A module without lines is measured by its
// functions: the starts its unwind or frame table and its exports know.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "symbols/module_symbols.h"

namespace dllscope {

// Lines of one function never reached, one after another (no reached line
// of code between them).
struct MissedStretch {
    std::wstring file;  // as the compiler recorded it
    std::uint32_t from = 0, to = 0;
    std::wstring function;
};

struct FileCoverage {
    std::wstring file;                           // as the compiler recorded it
    std::vector<std::uint32_t> reached, missed;  // line numbers, ascending
    // Counted by functions: the name of each (its export's, else "+0x1A40").
    std::vector<std::wstring> reachedNames, missedNames;
};

// Counted by functions (`functions`), a "line" is a function: its number
// is the function's address relative to the image base, its file the
// module's name, and each missed function a stretch of its own.
struct LineCoverage {
    bool functions = false;
    std::size_t linesReached = 0, linesTotal = 0;
    std::vector<FileCoverage> files;       // as the debug information names them
    std::vector<MissedStretch> stretches;  // by file, then line
};

class CoverageMap {
  public:
    CoverageMap() = default;
    // `moduleFile`: the plugin's file, `name` its name; nothing of it is
    // kept. By its own line table, else by its functions.
    CoverageMap(std::string_view moduleFile, const std::wstring& name);
    // By lines read elsewhere (from a program database).
    CoverageMap(std::string_view moduleFile, const LineTable& lines);

    // Whether it counts functions, for want of lines of the author's files.
    bool Functions() const { return functions_; }
    // The addresses to mark, relative to the image base, ascending: none
    // where the module has no lines.
    const std::vector<std::uint32_t>& Rvas() const { return rvas_; }
    // `reached[i]` non-zero: Rvas()[i] ran. A missing flag counts as not reached.
    LineCoverage Of(const std::uint8_t* reached, std::size_t count) const;
    // The texts of the module's read-only data (runs of 3 to 40 printable
    // characters), each once, at most 1000: words the plugin looks for.
    const std::vector<std::wstring>& Strings() const { return strings_; }

  private:
    void ByLines(const LineTable& table, const ModuleSymbols& symbols,
                 const std::vector<std::uint32_t>& exports);
    void ByFunctions(const ModuleSymbols& symbols, const std::wstring& name);

    struct Line {
        std::uint32_t file = 0, line = 0;
        std::wstring function;
    };
    std::vector<std::uint32_t> rvas_;
    std::vector<std::uint32_t> lineOf_;  // for each rva, its index in lines_
    std::vector<Line> lines_;            // by file, then line
    std::vector<std::wstring> files_;
    std::vector<std::wstring> strings_;
    bool functions_ = false;
};

}  // namespace dllscope
