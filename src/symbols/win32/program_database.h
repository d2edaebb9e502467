#pragma once
// Function, file and line in a module whose symbols stand in a program
// database (.pdb, as MSVC and clang -gcodeview write them), read by the
// system's symbol library: the database is looked for beside the module
// and where the module names it. The library serves one caller at a time;
// a lock of its own keeps it so.
#include <cstdint>
#include <string>

#include "symbols/module_symbols.h"

namespace dllscope {

// The place of `rva` in the module of file `path`; false where the library
// finds no database for it or nothing at that address. A return address
// (`caller`) is looked up one byte back.
bool ProgramDatabasePlace(const std::wstring& path, std::uint32_t rva, bool caller,
                          SourcePlace& place);

// The lines of the module of file `path` from its database, each start
// with its function; false where the library finds no lines for it.
bool ProgramDatabaseLines(const std::wstring& path, LineTable& lines);

}  // namespace dllscope
