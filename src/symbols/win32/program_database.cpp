#include "symbols/win32/program_database.h"

#include <windows.h>
// After windows.h, which it needs.
#include <dbghelp.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "common/paths.h"
#include "common/win32/ansi.h"
#include "common/utf8.h"

namespace dllscope {
namespace {

constexpr std::size_t kMaxModules = 64;
constexpr DWORD64 kSlot = 0x10000000;  // each module's place in the library's own space

// The library's session: a handle of no process, so that it reads files
// only and never this process's memory.
const HANDLE kSession = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x44534350));

struct Loaded {
    DWORD64 base = 0;
    ULONGLONG size = 0;
    FILETIME written{};
};

std::mutex libraryLock;

bool Started() {
    static const bool started = [] {
        SymSetOptions(SYMOPT_LOAD_LINES | SYMOPT_UNDNAME | SYMOPT_FAIL_CRITICAL_ERRORS |
                      SYMOPT_NO_PROMPTS);
        return SymInitializeW(kSession, nullptr, FALSE) != FALSE;
    }();
    return started;
}

// The module in the library, loaded again when its file changed: its base
// there, or 0.
DWORD64 BaseOf(const std::wstring& path) {
    static auto* loaded = new std::map<std::wstring, Loaded>();  // outlives every caller
    static DWORD64 next = kSlot;
    WIN32_FILE_ATTRIBUTE_DATA state;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &state)) return 0;
    const ULONGLONG size = (ULONGLONG{state.nFileSizeHigh} << 32) | state.nFileSizeLow;
    const std::wstring key = LowerName(path);
    const auto it = loaded->find(key);
    if (it != loaded->end()) {
        if (it->second.size == size &&
            CompareFileTime(&it->second.written, &state.ftLastWriteTime) == 0)
            return it->second.base;
        if (it->second.base) SymUnloadModule64(kSession, it->second.base);
        loaded->erase(it);
    }
    if (loaded->size() >= kMaxModules) return 0;
    SymSetSearchPathW(kSession, FolderOf(path).c_str());
    const DWORD64 base =
        SymLoadModuleExW(kSession, nullptr, path.c_str(), nullptr, next, 0, nullptr, 0);
    next += kSlot;
    (*loaded)[key] = Loaded{base, size, state.ftLastWriteTime};
    return base;
}

// The name of the function at `address` and the address's offset in it;
// "" where the library knows none.
std::string FunctionNameAt(DWORD64 address, DWORD64& displacement) {
    alignas(SYMBOL_INFOW) char buffer[sizeof(SYMBOL_INFOW) + 512 * sizeof(wchar_t)] = {};
    auto* symbol = reinterpret_cast<SYMBOL_INFOW*>(buffer);
    symbol->SizeOfStruct = sizeof(SYMBOL_INFOW);
    symbol->MaxNameLen = 511;
    displacement = 0;
    if (!SymFromAddrW(kSession, address, &displacement, symbol)) return {};
    return ToUtf8(std::wstring(symbol->Name, wcsnlen(symbol->Name, 511)));
}

constexpr std::size_t kMaxRows = 4'000'000;

struct Rows {
    DWORD64 base = 0;
    std::map<std::string, std::uint32_t> files;
    LineTable* table = nullptr;
};

BOOL CALLBACK TakeRow(PSRCCODEINFO row, PVOID context) {
    auto& rows = *static_cast<Rows*>(context);
    if (row->Address < rows.base || row->Address - rows.base > 0xFFFFFFFFu || row->LineNumber == 0)
        return TRUE;
    // The library's names are in the system's code page.
    const std::wstring name = FromAnsi(row->FileName, strnlen(row->FileName, sizeof row->FileName));
    const auto file =
        rows.files.emplace(ToUtf8(name), static_cast<std::uint32_t>(rows.files.size())).first;
    if (file->second == rows.table->files.size()) rows.table->files.push_back(file->first);
    rows.table->starts.push_back(
        {static_cast<std::uint32_t>(row->Address - rows.base), file->second, row->LineNumber, 0});
    return rows.table->starts.size() < kMaxRows;
}

}  // namespace

bool ProgramDatabaseLines(const std::wstring& path, LineTable& lines) {
    std::lock_guard<std::mutex> lock(libraryLock);
    if (!Started()) return false;
    const DWORD64 base = BaseOf(path);
    if (base == 0) return false;
    LineTable table;
    Rows rows{base, {}, &table};
    SymEnumLines(kSession, base, nullptr, nullptr, TakeRow, &rows);
    if (table.starts.empty()) return false;
    std::sort(table.starts.begin(), table.starts.end(),
              [](const LineTable::Start& a, const LineTable::Start& b) { return a.rva < b.rva; });
    table.starts.erase(std::unique(table.starts.begin(), table.starts.end(),
                                   [](const LineTable::Start& a, const LineTable::Start& b) {
                                       return a.rva == b.rva;
                                   }),
                       table.starts.end());
    table.NameFunctions([base](std::uint32_t rva) {
        DWORD64 displacement = 0;
        return FunctionNameAt(base + rva, displacement);
    });
    lines = std::move(table);
    return true;
}

bool ProgramDatabasePlace(const std::wstring& path, std::uint32_t rva, bool caller,
                          SourcePlace& place) {
    std::lock_guard<std::mutex> lock(libraryLock);
    if (!Started()) return false;
    const DWORD64 base = BaseOf(path);
    if (base == 0 || (caller && rva == 0)) return false;
    const DWORD64 address = base + rva - (caller ? 1 : 0);
    SourcePlace found;
    DWORD64 displacement = 0;
    found.function = FunctionNameAt(address, displacement);
    if (!found.function.empty())
        found.offset = static_cast<std::uint32_t>(displacement + (caller ? 1 : 0));
    IMAGEHLP_LINEW64 line{};
    line.SizeOfStruct = sizeof line;
    DWORD column = 0;
    if (SymGetLineFromAddrW64(kSession, address, &column, &line) && line.FileName) {
        found.file = ToUtf8(std::wstring(line.FileName, wcsnlen(line.FileName, 1024)));
        found.line = line.LineNumber;
    }
    if (found.line == 0) return false;
    place = std::move(found);
    return true;
}

}  // namespace dllscope
