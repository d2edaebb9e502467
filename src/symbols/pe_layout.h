#pragma once
// What the symbol reader needs of a module's file: its preferred base, its
// sections by their full names (the debug sections' names are longer than
// a section header holds and stand in the file's string table), the extents
// of its functions from the 64-bit unwind table, and its exports. Reads only
// inside the bytes it is given.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dllscope {

struct PeSection {
    std::string name;
    std::uint32_t rva = 0;
    std::string_view bytes;  // the section's contents in the file (as far as the file holds them)
    std::uint32_t size = 0;  // in memory
    bool code = false;       // it holds code (or may be executed)
};

// A function's extent from .pdata: [begin, end) relative to the image base.
struct PeFunction {
    std::uint32_t begin = 0, end = 0;
};

struct PeExport {
    std::uint32_t rva = 0;
    std::string name;
};

struct PeLayout {
    bool valid = false;
    int bits = 0;
    std::uint64_t imageBase = 0;
    std::uint32_t imageSize = 0;
    std::vector<PeSection> sections;
    std::vector<PeFunction> functions;  // by begin: the unwind table's, else the frame table's
    std::vector<PeExport> exports;      // by rva
    bool codeView = false;              // a debug entry names a program database (.pdb)

    // The contents of the section named `name`, empty where there is none.
    std::string_view Section(std::string_view name) const;
};

// `bytes` must outlive the layout: its sections point into them.
PeLayout ReadPeLayout(std::string_view bytes);
// Where the code at `rva` begins: at rva, or where the jump there (E9 rel32,
// an incremental linker's thunk) goes.
std::uint32_t CodeStart(const PeLayout& pe, std::uint32_t rva);
// The extents of a module's functions from its call frame table
// (.eh_frame), where it has no unwind table.
void ReadFrameTable(PeLayout& pe);

}  // namespace dllscope
