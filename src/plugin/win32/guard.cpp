#include "plugin/win32/guard.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "common/runtime_error.h"
#include "common/win32/ansi.h"

extern "C" {
int dllscope_guarded_call(void (*fn)(void*), void* arg, dllscope::Fault* fault);
void dllscope_guard_landing();
EXCEPTION_DISPOSITION dllscope_guard_handler(EXCEPTION_RECORD* record, void* frame,
                                             CONTEXT* context, void* dispatcherContext);
}

namespace dllscope {
namespace {

constexpr DWORD kUnwinding = 0x2 | 0x4;  // EXCEPTION_UNWINDING, EXCEPTION_EXIT_UNWIND
// Foreign code touched a guard page that is no stack's (a stack grows past
// its own without an exception reaching anyone).
constexpr DWORD kGuardPageViolation = 0x80000001;
constexpr DWORD kMsvcCppException = 0xE06D7363;
constexpr DWORD kGccCppException = 0x20474343;
constexpr DWORD kDelphiException = 0x0EEDFADE;
constexpr DWORD kDotNetException = 0xE0434352;
// Raised by Dllscope when foreign code calls abort (std::terminate does).
constexpr DWORD kAbortException = 0xE0444C41;

thread_local int guardDepth = 0;

// Errors (severity bits 11, the customer-defined ones included) and the
// warnings that end a program when nobody handles them; informational
// exceptions (a thread name, debug output) go on to whoever raised them.
bool Contained(DWORD code) {
    if ((code & 0xC0000000) == 0xC0000000) return true;
    switch (code) {
        case EXCEPTION_DATATYPE_MISALIGNMENT:
        case EXCEPTION_BREAKPOINT:
        case EXCEPTION_SINGLE_STEP:
        case kGuardPageViolation:
        case kGccCppException:
        case kDelphiException:
            return true;
        default:
            return false;
    }
}

bool RaisedBySoftware(DWORD code) {
    return code == kMsvcCppException || code == kGccCppException || code == kDelphiException ||
           code == kDotNetException || code == kAbortException;
}

const wchar_t* FaultKind(DWORD code) {
    switch (code) {
        case EXCEPTION_ACCESS_VIOLATION:
            return L"Zugriffsverletzung";
        case EXCEPTION_INT_DIVIDE_BY_ZERO:
            return L"Ganzzahlige Division durch null";
        case EXCEPTION_INT_OVERFLOW:
            return L"Ganzzahlüberlauf";
        case EXCEPTION_ILLEGAL_INSTRUCTION:
            return L"Ungültiger Befehl";
        case EXCEPTION_PRIV_INSTRUCTION:
            return L"Privilegierter Befehl";
        case EXCEPTION_STACK_OVERFLOW:
            return L"Stapelüberlauf";
        case EXCEPTION_DATATYPE_MISALIGNMENT:
            return L"Falsch ausgerichteter Zugriff";
        case kGuardPageViolation:
            return L"Zugriff auf eine Schutzseite";
        case EXCEPTION_IN_PAGE_ERROR:
            return L"Seitenfehler beim Lesen";
        case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
            return L"Feldgrenze überschritten";
        case EXCEPTION_BREAKPOINT:
            return L"Haltepunkt ohne Debugger";
        case EXCEPTION_SINGLE_STEP:
            return L"Einzelschritt ohne Debugger";
        case EXCEPTION_FLT_DIVIDE_BY_ZERO:
            return L"Gleitkomma-Division durch null";
        case EXCEPTION_FLT_DENORMAL_OPERAND:
        case EXCEPTION_FLT_INEXACT_RESULT:
        case EXCEPTION_FLT_INVALID_OPERATION:
        case EXCEPTION_FLT_OVERFLOW:
        case EXCEPTION_FLT_STACK_CHECK:
        case EXCEPTION_FLT_UNDERFLOW:
            return L"Gleitkommafehler";
        case 0xC0000409:
            return L"Pufferüberlauf im Stapel";
        case kMsvcCppException:
            return L"C++-Ausnahme (Visual C++), die das Plugin nicht abfängt";
        case kGccCppException:
            return L"C++-Ausnahme (GCC), die das Plugin nicht abfängt";
        case kDelphiException:
            return L"Delphi-Ausnahme, die das Plugin nicht abfängt";
        case kDotNetException:
            return L".NET-Ausnahme, die das Plugin nicht abfängt";
        case kAbortException:
            return L"Programmabbruch (abort oder std::terminate)";
        default:
            return L"Ausnahme";
    }
}

std::wstring Hex(ULONG_PTR value, int digits) {
    wchar_t text[32];
    std::swprintf(text, 32, L"0x%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

// The name of the export at or nearest below `offset` in a loaded module,
// read from its export directory within the image; empty when none lies
// below. A body for the guard: no destructors, the name goes to `name`.
struct NearestExport {
    const BYTE* base;
    ULONG_PTR offset;
    char name[128];
    ULONG_PTR at;

    void operator()() {
        name[0] = '\0';
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        if (nt->Signature != IMAGE_NT_SIGNATURE) return;
        const DWORD size = nt->OptionalHeader.SizeOfImage;
        const IMAGE_DATA_DIRECTORY dir =
            nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
        const auto inside = [size](DWORD rva, DWORD count, DWORD width) {
            return rva < size && count <= (size - rva) / width;
        };
        if (!dir.VirtualAddress || !inside(dir.VirtualAddress, 1, sizeof(IMAGE_EXPORT_DIRECTORY)))
            return;
        const auto* exports =
            reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
        const DWORD functions = exports->NumberOfFunctions, names = exports->NumberOfNames;
        if (!inside(exports->AddressOfFunctions, functions, 4) ||
            !inside(exports->AddressOfNames, names, 4) ||
            !inside(exports->AddressOfNameOrdinals, names, 2)) {
            return;
        }
        const auto* rvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfFunctions);
        const auto* nameRvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
        const auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
        DWORD best = names;
        for (DWORD i = 0; i < names; ++i) {
            if (ordinals[i] >= functions) continue;
            const DWORD rva = rvas[ordinals[i]];
            const bool forwarded = rva >= dir.VirtualAddress && rva - dir.VirtualAddress < dir.Size;
            if (forwarded || rva > offset || (best < names && rva <= at)) continue;
            if (!inside(nameRvas[i], 1, 1)) continue;
            best = i;
            at = rva;
        }
        if (best == names) return;
        const char* text = reinterpret_cast<const char*>(base + nameRvas[best]);
        std::size_t n = 0;
        while (n + 1 < sizeof name && nameRvas[best] + n < size && text[n]) {
            name[n] = text[n];
            ++n;
        }
        name[n] = '\0';
    }
};

struct Place {
    std::wstring module;  // file name, empty when the address lies in none
    std::wstring offset;  // "crash.dll+0x1A2B", or the bare address
    std::wstring symbol;  // "crash.dll!TsRun+0x1C", or empty
};

Place PlaceOf(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(address), &module)) {
        return {L"", Hex(reinterpret_cast<ULONG_PTR>(address), 1), L""};
    }
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    const std::wstring name = FileNameOf(std::wstring(path, n < MAX_PATH ? n : 0));
    const ULONG_PTR offset =
        reinterpret_cast<ULONG_PTR>(address) - reinterpret_cast<ULONG_PTR>(module);
    Place place{name, name + L"+" + Hex(offset, 1), L""};
    NearestExport nearest{reinterpret_cast<const BYTE*>(module), offset, {}, 0};
    Fault ignored;
    if (RunGuarded(nearest, ignored) && nearest.name[0]) {
        place.symbol = name + L"!" +
                       std::wstring(nearest.name, nearest.name + std::strlen(nearest.name)) + L"+" +
                       Hex(offset - nearest.at, 1);
    }
    return place;
}

// "in crash.dll!TsRun+0x1C (crash.dll+0x1A2B)", "in crash.dll+0x1A2B" when no
// export lies below, else "an Adresse 0x...".
std::wstring Location(const void* address) {
    const Place place = PlaceOf(address);
    if (place.module.empty()) return L"an Adresse " + place.offset;
    if (place.symbol.empty()) return L"in " + place.offset;
    return L"in " + place.symbol + L" (" + place.offset + L")";
}

// After a stack overflow the stack has lost its guard page: the next
// overflow would end the program. Guard the lowest committed pages again,
// as many as the system keeps in reserve for handling an overflow.
void RearmStackGuard() {
    MEMORY_BASIC_INFORMATION here;
    if (!VirtualQuery(&here, &here, sizeof here)) return;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const SIZE_T page = system.dwPageSize;
    ULONG guarantee = 0;
    SetThreadStackGuarantee(&guarantee);  // 0 asks without changing it
    const SIZE_T pages =
        guarantee > 0 ? (guarantee + page - 1) / page : (sizeof(void*) == 8 ? 2 : 1);
    char* at = static_cast<char*>(here.AllocationBase);
    char* const top = reinterpret_cast<char*>(&here);
    while (at < top) {
        MEMORY_BASIC_INFORMATION region;
        if (!VirtualQuery(at, &region, sizeof region)) return;
        if (region.Protect & PAGE_GUARD) return;  // armed
        if (region.State == MEM_COMMIT && !(region.Protect & PAGE_NOACCESS)) {
            DWORD old;
            VirtualProtect(region.BaseAddress, pages * page, PAGE_READWRITE | PAGE_GUARD, &old);
            return;
        }
        at = static_cast<char*>(region.BaseAddress) + region.RegionSize;
    }
}

// abort() of the C runtime (every MinGW module shares msvcrt's) raises
// SIGABRT first: inside a guarded call that becomes an exception the guard
// ends the call with; elsewhere the program ends as it would have.
void OnAbort(int) {
    if (guardDepth == 0) return;
    std::signal(SIGABRT, OnAbort);
    RaiseException(kAbortException, 0, 0, nullptr);  // continuable: the guard resumes elsewhere
}

// The program-wide state of the foreign calls: the observer, and the call
// under way on the main thread, which the watchdog thread watches.
class Watchdog {
  public:
    static Watchdog& Instance() {
        static Watchdog watchdog;
        return watchdog;
    }

    struct Watched {
        bool active = false;
        ForeignCall call;
        ULONGLONG since = 0;
    };

    ForeignCallObserver* observer = nullptr;

    Watched Begin(const ForeignCall& call) {
        Watched next{true, call, GetTickCount64()};
        EnterCriticalSection(&lock_);
        std::swap(watched_, next);
        ++generation_;
        LeaveCriticalSection(&lock_);
        return next;
    }

    void End(Watched& previous) {
        EnterCriticalSection(&lock_);
        std::swap(watched_, previous);
        if (watched_.active) watched_.since = GetTickCount64();
        ++generation_;
        LeaveCriticalSection(&lock_);
    }

  private:
    Watchdog() {
        InitializeCriticalSection(&lock_);
        // Room to report a stack overflow in, and no "abnormal program
        // termination" box of the C runtime before SIGABRT is raised.
        ULONG guarantee = 64 * 1024;
        SetThreadStackGuarantee(&guarantee);
        _set_error_mode(_OUT_TO_STDERR);
        std::signal(SIGABRT, OnAbort);
        if (const HANDLE t = CreateThread(nullptr, 64 * 1024, Run, this, 0, nullptr))
            CloseHandle(t);
    }

    static DWORD WINAPI Run(void* self) {
        static_cast<Watchdog*>(self)->Watch();
        return 0;
    }

    void Watch() {
        for (;;) {
            Sleep(250);
            EnterCriticalSection(&lock_);
            const DWORD limit = observer ? observer->HangMilliseconds() : kHangMilliseconds;
            const bool hung = watched_.active && GetTickCount64() - watched_.since >= limit;
            const Watched seen = hung ? watched_ : Watched{};
            const unsigned long generation = generation_;
            LeaveCriticalSection(&lock_);
            if (!hung) continue;
            if (observer && observer->OnHang(seen.call, GetTickCount64() - seen.since)) continue;
            const std::wstring note = observer ? observer->SavedTextNote() : std::wstring();
            const std::wstring text =
                std::wstring(seen.call.subject) + L" \u201E" + seen.call.name +
                L"\u201C antwortet nicht: Der Aufruf von " + seen.call.call + L" läuft seit " +
                std::to_wstring((GetTickCount64() - seen.since) / 1000) + L" Sekunden.\n\n" + note +
                L"\n\nDllscope jetzt beenden? \u201EJa\u201C beendet Dllscope sofort, "
                L"\u201ENein\u201C wartet weiter.";
            const int answer =
                MessageBoxW(nullptr, text.c_str(), L"Dllscope",
                            MB_YESNO | MB_ICONWARNING | MB_TOPMOST | MB_SETFOREGROUND);
            EnterCriticalSection(&lock_);
            const bool stillHung = generation_ == generation;
            if (stillHung) watched_.since = GetTickCount64();  // ask again after another while
            LeaveCriticalSection(&lock_);
            if (stillHung && answer == IDYES) TerminateProcess(GetCurrentProcess(), 3);
        }
    }

    CRITICAL_SECTION lock_;
    Watched watched_;
    unsigned long generation_ = 0;
};

std::wstring Action(const std::wstring& call) {
    if (call == L"LoadLibrary") return L"beim Laden";
    if (call == L"FreeLibrary") return L"beim Freigeben";
    if (call.rfind(L"der ", 0) == 0) return L"beim Aufruf " + call;
    return L"beim Aufruf von " + call;
}

std::wstring Named(const ForeignCall& call) {
    return std::wstring(call.subject) + L" \u201E" + call.name + L"\u201C";
}

}  // namespace

bool RunGuarded(void (*fn)(void*), void* arg, Fault& fault) noexcept {
    fault = Fault{};
    ++guardDepth;
    const int faulted = dllscope_guarded_call(fn, arg, &fault);
    --guardDepth;
    if (faulted && fault.code == EXCEPTION_STACK_OVERFLOW) RearmStackGuard();
    return faulted == 0;
}

std::wstring DescribeFault(const Fault& fault) {
    std::wstring text = std::wstring(FaultKind(fault.code)) + L" (" + Hex(fault.code, 8) + L")";
    if (fault.accessKnown) {
        text += fault.accessKind == 1   ? L" beim Schreiben an Adresse "
                : fault.accessKind == 8 ? L" beim Ausführen an Adresse "
                                        : L" beim Lesen von Adresse ";
        text += Hex(fault.accessAddress, 1);
    }
    if (!RaisedBySoftware(fault.code)) text += L" " + Location(fault.address);
    return text;
}

std::wstring FaultKindWords(DWORD code) { return FaultKind(code); }

std::wstring FaultWhere(const Fault& fault) {
    if (RaisedBySoftware(fault.code)) return std::wstring();
    const Place place = PlaceOf(fault.address);
    return place.module.empty() ? L"an Adresse " + place.offset : place.offset;
}

std::wstring FaultPlace(const Fault& fault) {
    if (RaisedBySoftware(fault.code)) return std::wstring();
    const Place place = PlaceOf(fault.address);
    if (place.module.empty()) return L"an Adresse " + place.offset;
    return place.symbol.empty() ? place.offset : place.symbol;
}

void SetForeignCallObserver(ForeignCallObserver* observer) {
    Watchdog::Instance().observer = observer;
}

void CallForeign(const ForeignCall& call, void (*fn)(void*), void* arg) {
    Watchdog& watchdog = Watchdog::Instance();
    if (watchdog.observer) watchdog.observer->BeforeForeignCall();
    Watchdog::Watched previous = watchdog.Begin(call);
    Fault fault;
    const bool returned = RunGuarded(fn, arg, fault);
    watchdog.End(previous);
    if (!returned) {
        throw ForeignFault(Named(call) + L" ist " + Action(call.call) + L" abgestürzt: " +
                               DescribeFault(fault) + L".",
                           fault);
    }
}

namespace {

// The system's allocator takes a BSTR's memory as one block of the process
// heap: [padding on 64-bit][length, 4 bytes][the bytes][NUL, 2 bytes]. A
// body for the guard: checks the block and reads the length, no further.
struct BstrBlock {
    BSTR string;
    UINT length;
    SIZE_T block;
    bool isBlock;

    static constexpr std::size_t kPrefix = sizeof(void*) == 8 ? 8 : 4;

    void operator()() {
        const void* start = reinterpret_cast<const char*>(string) - kPrefix;
        const HANDLE heap = GetProcessHeap();
        isBlock = HeapValidate(heap, 0, start) != FALSE;
        if (!isBlock) return;
        block = HeapSize(heap, 0, start);
        length = SysStringByteLen(string);
    }
    bool Holds() const {
        return block != static_cast<SIZE_T>(-1) && block >= kPrefix + sizeof(WCHAR) &&
               length <= block - kPrefix - sizeof(WCHAR);
    }
};

RuntimeError TooLarge(const ForeignCall& call, std::size_t bytes) {
    return RuntimeError(Named(call) + L" hat aus " + call.call + L" ein Ergebnis von " +
                        std::to_wstring(bytes) +
                        L" Bytes zurückgegeben; dafür reicht der Arbeitsspeicher nicht.");
}

}  // namespace

std::string TakeForeignBstrBytes(const ForeignCall& call, BSTR result) {
    if (!result) return std::string();
    const std::wstring invalidResult =
        Named(call) + L" hat aus " + call.call + L" ein ungültiges Ergebnis zurückgegeben: ";
    const auto invalid = [&](const Fault& fault) {
        return ForeignFault(invalidResult + DescribeFault(fault) + L".", fault);
    };
    Fault fault;
    BstrBlock bstr{result, 0, 0, false};
    if (!RunGuarded(bstr, fault)) throw invalid(fault);
    const std::wstring address = Hex(reinterpret_cast<ULONG_PTR>(result), 1);
    if (!bstr.isBlock) {
        // Not freed either: whatever it is, it is not ours to free.
        throw RuntimeError(invalidResult + L"der Zeiger " + address +
                           L" ist kein BSTR aus SysAllocStringByteLen (kein Speicherblock der "
                           L"Zeichenketten des Systems: ein mit malloc oder new gemachter, ein "
                           L"statischer, ein schon freigegebener Zeiger oder einer in die "
                           L"Eingabe?). Gib das Ergebnis mit SysAllocStringByteLen zurück.");
    }
    if (!bstr.Holds()) {
        throw RuntimeError(invalidResult + L"der BSTR " + address + L" gibt seine Länge mit " +
                           std::to_wstring(bstr.length) + L" Bytes an, sein Speicherblock fasst " +
                           L"aber nur " + std::to_wstring(bstr.block) +
                           L" Bytes (ein überschriebener oder schon freigegebener BSTR?).");
    }
    std::string bytes;
    try {
        bytes.resize(bstr.length);
    } catch (const std::exception&) {  // bad_alloc, length_error
        auto release = [&] { SysFreeString(result); };
        (void)RunGuarded(release, fault);
        throw TooLarge(call, bstr.length);
    }
    char* to = bytes.data();
    const UINT size = bstr.length;
    auto copy = [&] { std::memcpy(to, result, size); };
    if (!RunGuarded(copy, fault)) throw invalid(fault);
    auto release = [&] { SysFreeString(result); };
    if (!RunGuarded(release, fault)) throw invalid(fault);
    return bytes;
}

std::wstring TakeForeignAnsiBstr(const ForeignCall& call, BSTR result) {
    const std::string bytes = TakeForeignBstrBytes(call, result);
    try {
        return FromAnsi(bytes.data(), bytes.size());
    } catch (const std::exception&) {  // bad_alloc, length_error
        throw TooLarge(call, bytes.size());
    }
}

}  // namespace dllscope

extern "C" EXCEPTION_DISPOSITION dllscope_guard_handler(EXCEPTION_RECORD* record, void* frame,
                                                        CONTEXT* context, void*) {
    if ((record->ExceptionFlags & dllscope::kUnwinding) ||
        !dllscope::Contained(record->ExceptionCode)) {
        return ExceptionContinueSearch;
    }
    // The trampoline keeps the fault record beside its frame: 32 bytes above
    // the frame on 64-bit Windows, in the registration on 32-bit Windows.
    constexpr std::size_t kRecordOffset = sizeof(void*) == 8 ? 32 : 8;
    auto* fault = *reinterpret_cast<dllscope::Fault**>(static_cast<char*>(frame) + kRecordOffset);
    fault->code = record->ExceptionCode;
    fault->address = record->ExceptionAddress;
    if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2) {
        fault->accessKnown = true;
        fault->accessKind = record->ExceptionInformation[0];
        fault->accessAddress = record->ExceptionInformation[1];
    }
#ifdef _WIN64
    context->Rsp = reinterpret_cast<DWORD64>(frame);
    context->Rip = reinterpret_cast<DWORD64>(&dllscope_guard_landing);
#else
    context->Esp = reinterpret_cast<DWORD>(frame);
    context->Eip = reinterpret_cast<DWORD>(&dllscope_guard_landing);
#endif
    return ExceptionContinueExecution;
}
