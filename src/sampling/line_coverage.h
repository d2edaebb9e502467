#pragma once
// Which lines of a plugin its runs reached: the places a breakpoint marks
// (the first address of each stretch of code of a line of the author's
// files, from the module's line table), and from the marks found reached, each source file's lines
// reached and missed and the stretches of missed lines with their function.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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
};

struct LineCoverage {
    std::size_t linesReached = 0, linesTotal = 0;
    std::vector<FileCoverage> files;       // as the debug information names them
    std::vector<MissedStretch> stretches;  // by file, then line
};

class CoverageMap {
  public:
    CoverageMap() = default;
    // `moduleFile`: the plugin's file; nothing of it is kept.
    explicit CoverageMap(std::string_view moduleFile);

    // The addresses to mark, relative to the image base, ascending: none
    // where the module has no lines.
    const std::vector<std::uint32_t>& Rvas() const { return rvas_; }
    // `reached[i]` non-zero: Rvas()[i] ran. A missing flag counts as not reached.
    LineCoverage Of(const std::uint8_t* reached, std::size_t count) const;
    // The texts of the module's read-only data (runs of 3 to 40 printable
    // characters), each once, at most 1000: words the plugin looks for.
    const std::vector<std::wstring>& Strings() const { return strings_; }

  private:
    struct Line {
        std::uint32_t file = 0, line = 0;
        std::wstring function;
    };
    std::vector<std::uint32_t> rvas_;
    std::vector<std::uint32_t> lineOf_;  // for each rva, its index in lines_
    std::vector<Line> lines_;            // by file, then line
    std::vector<std::wstring> files_;
    std::vector<std::wstring> strings_;
};

}  // namespace dllscope
