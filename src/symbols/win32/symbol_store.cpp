#include "symbols/win32/symbol_store.h"

#include <map>
#include <mutex>
#include <new>

#include "common/paths.h"
#include "common/utf8.h"
#include "symbols/win32/program_database.h"

namespace dllscope {
namespace {

constexpr std::size_t kMaxModules = 64;

struct Stored {
    ULONGLONG size = 0;
    FILETIME written{};
    std::shared_ptr<const ModuleSymbols> symbols;
};

std::mutex storeLock;
std::map<std::wstring, Stored>& Store() {
    static auto* store = new std::map<std::wstring, Stored>();  // outlives every caller
    return *store;
}

std::shared_ptr<const ModuleSymbols> Read(HANDLE file, ULONGLONG size) {
    if (size > kMaxModuleFile) return std::make_shared<const ModuleSymbols>();
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::size_t at = 0;
    while (at < bytes.size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1u << 24));
        if (!ReadFile(file, &bytes[at], want, &got, nullptr) || got == 0) break;
        at += got;
    }
    bytes.resize(at);
    return std::make_shared<const ModuleSymbols>(bytes);
}

std::wstring ModulePath(HMODULE module) {
    std::wstring path(32768, L'\0');
    const DWORD n = GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
    path.resize(n < path.size() ? n : 0);
    return path;
}

}  // namespace

std::shared_ptr<const ModuleSymbols> SymbolsOfFile(const std::wstring& path) {
    try {
        // Known and unchanged (size and time of writing): no file is opened.
        WIN32_FILE_ATTRIBUTE_DATA state;
        if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &state)) return nullptr;
        Stored now;
        now.size = (ULONGLONG{state.nFileSizeHigh} << 32) | state.nFileSizeLow;
        now.written = state.ftLastWriteTime;
        const std::wstring key = LowerName(path);
        {
            std::lock_guard<std::mutex> lock(storeLock);
            const auto it = Store().find(key);
            if (it != Store().end() && it->second.size == now.size &&
                CompareFileTime(&it->second.written, &now.written) == 0) {
                return it->second.symbols;
            }
        }
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return nullptr;
        now.symbols = Read(file, now.size);
        CloseHandle(file);
        std::lock_guard<std::mutex> lock(storeLock);
        if (Store().size() >= kMaxModules) Store().clear();
        Store()[key] = now;
        return now.symbols;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

StackFrame FrameInModule(const std::wstring& path, std::uintptr_t base, std::uintptr_t address,
                         bool caller) {
    StackFrame frame;
    wchar_t text[32];
    if (path.empty()) {
        swprintf(text, 32, L"0x%llX", static_cast<unsigned long long>(address));
        frame.place = text;
        return frame;
    }
    frame.module = FileNameOf(path);
    const auto rva = static_cast<std::uint32_t>(address - base);
    swprintf(text, 32, L"+0x%X", rva);
    frame.place = frame.module + text;
    if (const auto symbols = SymbolsOfFile(path)) {
        SourcePlace p = symbols->At(rva, caller);
        if (p.line == 0 && symbols->NamesProgramDatabase())
            ProgramDatabasePlace(path, rva, caller, p);
        frame.function = FromUtf8(p.function);
        frame.file = FromUtf8(p.file);
        frame.line = p.line;
        frame.offset = p.offset;
    }
    return frame;
}

StackFrame FrameOf(const void* address, bool caller) {
    const auto value = reinterpret_cast<std::uintptr_t>(address);
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(address), &module)) {
        return FrameInModule(std::wstring(), 0, value, caller);
    }
    return FrameInModule(ModulePath(module), reinterpret_cast<std::uintptr_t>(module), value,
                         caller);
}

std::vector<StackFrame> FramesOf(const void* const* addresses, std::size_t count) {
    std::vector<StackFrame> frames;
    for (std::size_t i = 0; i < count; ++i) frames.push_back(FrameOf(addresses[i], i > 0));
    return frames;
}

}  // namespace dllscope
