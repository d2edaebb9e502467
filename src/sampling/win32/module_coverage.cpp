#include "sampling/win32/module_coverage.h"

#include "common/paths.h"
#include "symbols/win32/program_database.h"

namespace dllscope {

CoverageMap ModuleCoverageMap(const std::wstring& path, std::string_view file) {
    CoverageMap map(file, FileNameOf(path));
    if (!map.Functions() || !ModuleSymbols(file).NamesProgramDatabase()) return map;
    LineTable lines;
    if (!ProgramDatabaseLines(path, lines)) return map;
    CoverageMap byDatabase(file, lines);
    return byDatabase.Rvas().empty() ? map : byDatabase;
}

}  // namespace dllscope
