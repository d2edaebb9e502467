#pragma once
// What a module's file tells about the places in its code: the function,
// source file and line of an address (from its DWARF debug information),
// and without debug information the extent of its functions (64-bit unwind
// table) and the exports that begin them. Read once from the file's bytes,
// bounded in work and memory however the file is made.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "symbols/dwarf_reader.h"
#include "symbols/pe_layout.h"

namespace dllscope {

// A place in a module's source: what is known of it (function, file or
// line may be missing).
struct SourcePlace {
    std::string function;
    std::string file;  // as the compiler recorded it (the build machine's path)
    std::uint32_t line = 0;
    std::uint32_t offset = 0;  // of the address in its function, where the function is known
};

// The lines of a module's source and where their code starts: from its
// own debug information or from a program database beside it.
struct LineTable {
    struct Start {
        std::uint32_t rva = 0, file = 0, line = 0;
        std::uint32_t function = 0;  // indexes functions; 0 is a function not known
    };
    std::vector<std::string> files;          // as the compiler recorded them
    std::vector<std::string> functions{""};  // the names the starts refer to
    std::vector<Start> starts;               // by rva, each rva once, inside the code

    // Names the function of each start by `nameOf(rva)`, each name once.
    template <class NameOf>
    void NameFunctions(NameOf nameOf) {
        std::map<std::string, std::uint32_t> index{{"", 0}};
        for (Start& s : starts) {
            const auto it =
                index.emplace(nameOf(s.rva), static_cast<std::uint32_t>(functions.size()));
            if (it.second) functions.push_back(it.first->first);
            s.function = it.first->second;
        }
    }
};

// The work of reading one module: enough for a plugin with a few hundred
// thousand lines, small enough to end in well under a second.
inline constexpr std::uint64_t kReadSteps = 40'000'000;
// A module file larger than this is not read for symbols.
inline constexpr std::uint64_t kMaxModuleFile = 512ull << 20;

class ModuleSymbols {
  public:
    ModuleSymbols() = default;
    // `bytes`: the module's file. Nothing of it is kept.
    explicit ModuleSymbols(std::string_view bytes, std::uint64_t steps = kReadSteps);

    bool Valid() const { return valid_; }
    int Bits() const { return bits_; }
    // Whether the file has debug information with lines in it.
    bool HasLines() const { return !info_.rows.empty(); }
    // Whether the file has debug sections at all (of any kind this reader knows).
    bool HasDebugSections() const { return debugSections_; }
    // Whether the file names a program database (.pdb) for its symbols.
    bool NamesProgramDatabase() const { return codeView_; }
    // Whether a limit ended the reading (damaged or huge debug information).
    bool Cut() const { return info_.cut; }

    // The place of an address given relative to the image base. A return
    // address is looked up one byte back (`caller`): it points past its call.
    SourcePlace At(std::uint32_t rva, bool caller = false) const;
    // The extent [begin, end) of the function holding rva, from the unwind
    // table or the debug information; false where neither knows it.
    bool Extent(std::uint32_t rva, std::uint32_t& begin, std::uint32_t& end) const;

    // The first address of each stretch of code a source line was compiled
    // to, relative to the image base, by address and each once; only those
    // inside the module's code. `file` indexes Files().
    struct LineStart {
        std::uint32_t rva = 0, file = 0, line = 0;
    };
    std::vector<LineStart> LineStarts() const;
    // The same with the function of each start named.
    LineTable Lines() const;
    const std::vector<std::string>& Files() const { return info_.files; }
    const std::vector<PeExport>& Exports() const { return exports_; }
    // The extents of the functions the unwind or frame table knows, by begin.
    const std::vector<PeFunction>& Functions() const { return functions_; }
    // Whether rva lies in one of the module's code sections.
    bool InCode(std::uint32_t rva) const;

  private:
    bool FunctionAt(std::uint64_t address, SourcePlace& place) const;
    bool ExportAt(std::uint32_t rva, SourcePlace& place) const;

    bool valid_ = false;
    bool debugSections_ = false;
    bool codeView_ = false;
    int bits_ = 0;
    std::uint64_t imageBase_ = 0;
    DebugInfo info_;
    std::vector<PeFunction> functions_;
    std::vector<PeExport> exports_;
    std::vector<PeFunction> code_;  // the code sections' extents
};

}  // namespace dllscope
