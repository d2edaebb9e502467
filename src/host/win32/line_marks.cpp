#include "host/win32/line_marks.h"

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "common/runtime_error.h"
#include "host/coverage_marks.h"

namespace dllscope {
namespace {

// What the loader tells of a module loaded or unloaded.
struct ModuleNews {
    ULONG flags;
    const UNICODE_STRING* fullName;
    const UNICODE_STRING* baseName;
    void* base;
    ULONG size;
};
using News = VOID(CALLBACK*)(ULONG reason, const ModuleNews* news, PVOID context);
using RegisterNews = LONG(NTAPI*)(ULONG flags, News news, PVOID context, PVOID* cookie);
constexpr ULONG kLoaded = 1, kUnloaded = 2;
constexpr unsigned char kBreak = 0xCC;

struct Marks {
    SRWLOCK lock = SRWLOCK_INIT;
    std::vector<std::uint32_t> rvas;           // ascending
    std::vector<unsigned char> original;       // the byte under each mark
    std::vector<char> set;                     // whether each mark is in place now
    volatile std::uint8_t* reached = nullptr;  // the section's flags
    volatile LONG* count = nullptr;            // and its count of them
    std::wstring module, alias;
    std::uintptr_t base = 0;  // of the module while it is loaded
    std::uint32_t size = 0;
    bool routed = false;  // its imports of the handlers' registration go through ours
    PVOID handler = nullptr;
};
Marks* marks = nullptr;  // the process's, from the first Start on

LONG CALLBACK OnBreakpoint(EXCEPTION_POINTERS* p);

// The plugin's registration of an exception handler: one it puts first
// goes behind this host's, which takes back a mark before any handler of
// the plugin's runs (whose own first line carries a mark too).
PVOID WINAPI AddHandlerBehindOurs(ULONG first, PVECTORED_EXCEPTION_HANDLER handler) {
    const PVOID added = AddVectoredExceptionHandler(first, handler);
    Marks* const m = marks;
    if (first && added && m && m->handler) {
        RemoveVectoredExceptionHandler(m->handler);
        m->handler = AddVectoredExceptionHandler(1, OnBreakpoint);
    }
    return added;
}

bool RegistersHandler(const char* name) {
    return std::strcmp(name, "AddVectoredExceptionHandler") == 0 ||
           std::strcmp(name, "RtlAddVectoredExceptionHandler") == 0;
}

// The plugin asking for the registration by name gets AddHandlerBehindOurs too.
FARPROC WINAPI ProcAddressRouted(HMODULE module, LPCSTR name) {
    const FARPROC found = GetProcAddress(module, name);  // a name it finds is readable
    if (found && reinterpret_cast<ULONG_PTR>(name) > 0xFFFF && RegistersHandler(name))
        return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&AddHandlerBehindOurs));
    return found;
}

// The plugin's imports of AddVectoredExceptionHandler, once they are bound
// (its code runs), lead to AddHandlerBehindOurs, and those of GetProcAddress
// to ProcAddressRouted.
void RouteHandlerRegistration(std::uintptr_t base) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress) return;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         d->Name; ++d) {
        if (!d->OriginalFirstThunk) continue;  // no names to go by
        auto* bound = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        auto* named = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        for (; named->u1.AddressOfData; ++named, ++bound) {
            if (IMAGE_SNAP_BY_ORDINAL(named->u1.Ordinal)) continue;
            const char* name =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + named->u1.AddressOfData)->Name;
            ULONG_PTR routed = 0;
            if (RegistersHandler(name)) routed = reinterpret_cast<ULONG_PTR>(&AddHandlerBehindOurs);
            if (std::strcmp(name, "GetProcAddress") == 0)
                routed = reinterpret_cast<ULONG_PTR>(&ProcAddressRouted);
            DWORD old = 0;
            if (!routed || !VirtualProtect(&bound->u1.Function, sizeof bound->u1.Function,
                                           PAGE_READWRITE, &old))
                continue;
            bound->u1.Function = routed;
            VirtualProtect(&bound->u1.Function, sizeof bound->u1.Function, old, &old);
        }
    }
}

void WriteCode(std::uintptr_t address, unsigned char byte) {
    void* const at = reinterpret_cast<void*>(address);
    DWORD old = 0;
    if (!VirtualProtect(at, 1, PAGE_EXECUTE_READWRITE, &old)) return;
    *static_cast<volatile unsigned char*>(at) = byte;
    VirtualProtect(at, 1, old, &old);
    FlushInstructionCache(GetCurrentProcess(), at, 1);
}

// The marks not yet reached, set in the module loaded at `base`; under the lock.
unsigned Arm(Marks& m, std::uintptr_t base, std::uint32_t size) {
    m.base = base;
    m.size = size;
    m.routed = false;
    unsigned armed = 0;
    for (std::size_t i = 0; i < m.rvas.size() && m.rvas[i] < size; ++i) {
        if (m.reached[i] || m.set[i]) continue;
        const std::uintptr_t address = base + m.rvas[i];
        const unsigned char byte = *reinterpret_cast<volatile unsigned char*>(address);
        if (byte == kBreak) continue;  // the plugin's own breakpoint stays its own
        m.original[i] = byte;
        WriteCode(address, kBreak);
        m.set[i] = 1;
        ++armed;
    }
    return armed;
}

bool SameName(const UNICODE_STRING* name, const std::wstring& want) {
    return name && name->Buffer && !want.empty() &&
           CompareStringOrdinal(name->Buffer, name->Length / 2, want.c_str(),
                                static_cast<int>(want.size()), TRUE) == CSTR_EQUAL;
}

VOID CALLBACK OnModuleNews(ULONG reason, const ModuleNews* news, PVOID) {
    Marks* const m = marks;
    if (!m || !news || !(SameName(news->baseName, m->module) || SameName(news->baseName, m->alias)))
        return;
    AcquireSRWLockExclusive(&m->lock);
    if (reason == kLoaded) {
        Arm(*m, reinterpret_cast<std::uintptr_t>(news->base), news->size);
    } else if (reason == kUnloaded && m->base == reinterpret_cast<std::uintptr_t>(news->base)) {
        m->base = 0;  // its code is gone, and its marks with it
        std::fill(m->set.begin(), m->set.end(), 0);
    }
    ReleaseSRWLockExclusive(&m->lock);
}

// First of all handlers: a breakpoint on a mark of ours takes the mark back
// and goes on at the same place.
LONG CALLBACK OnBreakpoint(EXCEPTION_POINTERS* p) {
    Marks* const m = marks;
    if (!m || p->ExceptionRecord->ExceptionCode != EXCEPTION_BREAKPOINT) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    const auto address = reinterpret_cast<std::uintptr_t>(p->ExceptionRecord->ExceptionAddress);
    bool ours = false;
    AcquireSRWLockExclusive(&m->lock);
    if (m->base && address >= m->base && address - m->base < m->size) {
        const auto rva = static_cast<std::uint32_t>(address - m->base);
        const auto it = std::lower_bound(m->rvas.begin(), m->rvas.end(), rva);
        const std::size_t i = static_cast<std::size_t>(it - m->rvas.begin());
        if (it != m->rvas.end() && *it == rva && m->set[i]) {
            WriteCode(address, m->original[i]);
            m->set[i] = 0;
            m->reached[i] = 1;
            InterlockedIncrement(m->count);
            ours = true;
            if (!m->routed) RouteHandlerRegistration(m->base);
            m->routed = true;
        } else if (it != m->rvas.end() && *it == rva) {
            // Another thread reached it at the same time and took it back.
            ours = *reinterpret_cast<volatile unsigned char*>(address) != kBreak;
        }
    }
    ReleaseSRWLockExclusive(&m->lock);
    if (!ours) return EXCEPTION_CONTINUE_SEARCH;
#ifdef _WIN64
    p->ContextRecord->Rip = address;
#else
    p->ContextRecord->Eip = static_cast<DWORD>(address);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

std::uint32_t ImageSize(HMODULE module) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        reinterpret_cast<const char*>(module) + dos->e_lfanew);
    return nt->OptionalHeader.SizeOfImage;
}

[[noreturn]] void Refuse(const std::wstring& why) {
    throw RuntimeError(L"Die Zeilenabdeckung kann nicht gemessen werden: " + why);
}

// The section's list, checked: a caller's section is input like any other.
void ReadList(const std::wstring& section, Marks& m) {
    const HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, section.c_str());
    if (!mapping) Refuse(L"ihr Abschnitt fehlt.");
    auto* const view = static_cast<unsigned char*>(
        MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));  // stays mapped for the process
    CloseHandle(mapping);
    MEMORY_BASIC_INFORMATION info{};
    if (!view || !VirtualQuery(view, &info, sizeof info)) Refuse(L"ihr Abschnitt fehlt.");
    CoverageMarksHead head;
    if (info.RegionSize < sizeof head) Refuse(L"ihr Abschnitt ist zu klein.");
    std::memcpy(&head, view, sizeof head);
    if (head.magic != kCoverageMarksMagic || head.count > kMaxCoverageMarks ||
        CoverageMarksBytes(head.count) > info.RegionSize)
        Refuse(L"ihr Abschnitt ist beschädigt.");
    m.rvas.resize(head.count);
    std::memcpy(m.rvas.data(), view + sizeof head, head.count * sizeof(std::uint32_t));
    if (std::adjacent_find(m.rvas.begin(), m.rvas.end(), std::greater_equal<>()) != m.rvas.end())
        Refuse(L"ihre Adressen sind nicht aufsteigend.");
    m.original.assign(head.count, 0);
    m.set.assign(head.count, 0);
    m.reached = view + CoverageFlagsOffset(head.count);
    m.count = reinterpret_cast<volatile LONG*>(view + offsetof(CoverageMarksHead, reached));
}

}  // namespace

unsigned LineMarks::Start(const std::wstring& section, const std::wstring& module,
                          const std::wstring& alias) {
    if (marks) Refuse(L"sie läuft in diesem Prozess schon.");
    auto m = std::make_unique<Marks>();
    ReadList(section, *m);
    m->module = module;
    m->alias = alias;
    const FARPROC found =
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "LdrRegisterDllNotification");
    const auto registerNews = reinterpret_cast<RegisterNews>(reinterpret_cast<void (*)()>(found));
    PVOID cookie = nullptr;
    if (!registerNews || registerNews(0, OnModuleNews, nullptr, &cookie) != 0)
        Refuse(L"das System meldet das Laden von Bibliotheken nicht.");
    m->handler = AddVectoredExceptionHandler(1, OnBreakpoint);
    if (!m->handler) Refuse(L"die Ausnahmebehandlung lässt sich nicht einrichten.");
    marks = m.release();
    HMODULE loaded = GetModuleHandleW(module.c_str());
    if (!loaded && !alias.empty()) loaded = GetModuleHandleW(alias.c_str());
    if (!loaded) return 0;
    AcquireSRWLockExclusive(&marks->lock);
    const unsigned armed = Arm(*marks, reinterpret_cast<std::uintptr_t>(loaded), ImageSize(loaded));
    ReleaseSRWLockExclusive(&marks->lock);
    return armed;
}

}  // namespace dllscope
