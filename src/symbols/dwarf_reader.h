#pragma once
// Reads the lines and functions of a module's DWARF debug information
// (versions 2 to 5, as gcc, clang and Free Pascal write it into a PE file).
// What a module's file holds is hostile input: every read is bounded by its
// section, every table by a count, and the whole reading by a budget of
// steps; where a limit is met, what was read so far stays.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dllscope {

struct DwarfSections {
    std::string_view info, abbrev, line, str, lineStr, strOffsets, addr, ranges, rngLists;
};

// The work one module's reading may do; every step of the line programs and
// every attribute read spends one.
struct ReadBudget {
    std::uint64_t steps = 0;
    bool Spend(std::uint64_t n = 1) {
        if (steps < n) {
            steps = 0;
            return false;
        }
        steps -= n;
        return true;
    }
    bool Spent() const { return steps == 0; }
};

// Addresses as the debug information names them: from the preferred base.
struct DebugInfo {
    struct Row {  // [begin, end) was compiled from file:line
        std::uint64_t begin = 0, end = 0;
        std::uint32_t file = 0, line = 0;
    };
    struct Function {
        std::uint64_t begin = 0, end = 0;
        std::uint32_t name = 0;
    };
    std::vector<std::string> files;  // paths as the compiler wrote them
    std::vector<std::string> names;
    std::vector<Row> rows;
    std::vector<Function> functions;
    bool cut = false;  // a limit ended the reading early
};

// Limits of what one module's debug information may fill.
inline constexpr std::size_t kMaxRows = 4u << 20;
inline constexpr std::size_t kMaxFunctions = 1u << 20;
inline constexpr std::size_t kMaxPathBytes = 1024;

void ReadDwarf(const DwarfSections& sections, ReadBudget& budget, DebugInfo& info);

// The line program at `offset` of .debug_line, of a unit whose addresses
// take `addressSize` bytes and whose files lie below `compDir`: the offset
// just past it, 0 where its head is damaged.
std::uint64_t ReadLineProgram(const DwarfSections& sections, std::uint64_t offset,
                              unsigned addressSize, std::string_view compDir, ReadBudget& budget,
                              DebugInfo& info);

}  // namespace dllscope
