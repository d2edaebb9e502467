#pragma once
// Calls into code that is not Dllscope's (a library's entry point, the
// bridge, a plugin, the demo exports and objects) run under a guard: a
// hardware fault, an exception of the platform's that leaves the foreign
// code, or the foreign code's abort ends only that call, and the command
// reports it. The guarded region is the foreign call alone: a body holds no
// object with a destructor and lets no C++ exception escape, since a fault
// abandons its frames without unwinding them.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <type_traits>

#include "common/paths.h"
#include "common/runtime_error.h"

namespace dllscope {

// What ended a guarded call.
struct Fault {
    DWORD code = 0;
    const void* address = nullptr;  // where it happened
    bool accessKnown = false;       // access violations: what was touched, and how
    ULONG_PTR accessKind = 0;       // 0 read, 1 write, 8 execute
    ULONG_PTR accessAddress = 0;
};

// Runs fn(arg) under the guard: true when it returned, false when a fault
// ended it (then `fault` says which).
bool RunGuarded(void (*fn)(void*), void* arg, Fault& fault) noexcept;

template <class Body>
bool RunGuarded(Body& body, Fault& fault) noexcept {
    return RunGuarded([](void* b) { (*static_cast<Body*>(b))(); }, &body, fault);
}

// The kind of fault, its code and where: "Zugriffsverletzung (0xC0000005)
// beim Schreiben an Adresse 0x0 in crash.dll+0x1A2B".
std::wstring DescribeFault(const Fault& fault);

// Its parts: the kind in words ("Zugriffsverletzung"), and where it
// happened, from the image base ("crash.dll+0x1A2B") and from the nearest
// export below ("crash.dll!TsRun+0x1C", the former where none lies below);
// an address outside every module, or empty for an exception that software
// raised.
std::wstring FaultKindWords(DWORD code);
std::wstring FaultWhere(const Fault& fault);
std::wstring FaultPlace(const Fault& fault);

// How long a call may run before the watchdog asks whether to end Dllscope.
inline constexpr DWORD kHangMilliseconds = 15000;

// A call into foreign code, as reports and the watchdog name it.
struct ForeignCall {
    const wchar_t* subject;  // "Das Plugin", "Die Bibliothek", "Die Automatisierungsklasse", ...
    std::wstring name;       // which one: a file name or a class identifier
    std::wstring call;       // "PluginRun", "LoadLibrary", ...
};

// Told before every call into foreign code, and asked what to say about the
// editor text when a call does not return.
class ForeignCallObserver {
  public:
    virtual ~ForeignCallObserver() = default;
    virtual void BeforeForeignCall() = 0;
    virtual std::wstring SavedTextNote() = 0;
    // How long a call may run before it counts as hung.
    virtual DWORD HangMilliseconds() { return kHangMilliseconds; }
    // Called on the watchdog's thread for a call that has not returned;
    // false leaves it to the watchdog's own question (end Dllscope or wait on).
    virtual bool OnHang(const ForeignCall&, unsigned long long /*milliseconds*/) { return false; }
};

// The program's observer (the main window), or nullptr.
void SetForeignCallObserver(ForeignCallObserver* observer);

// What CallForeign throws for a fault: the report, and the fault itself.
class ForeignFault : public RuntimeError {
  public:
    ForeignFault(std::wstring report, const Fault& fault)
        : RuntimeError(std::move(report)), fault_(fault) {}
    const Fault& Details() const { return fault_; }

  private:
    Fault fault_;
};

// Runs body as the call `call`: the observer is told first, the watchdog
// watches it, and a fault throws ForeignFault with the report.
void CallForeign(const ForeignCall& call, void (*fn)(void*), void* arg);

template <class Body>
void CallForeign(const ForeignCall& call, Body&& body) {
    CallForeign(
        call, [](void* b) { (*static_cast<std::remove_reference_t<Body>*>(b))(); }, &body);
}

// Reads a BSTR that foreign code returned as ANSI bytes (its
// SysStringByteLen bytes; a null BSTR is empty) and frees it, under the
// guard. A result that is no BSTR of the system's allocator (a malloc'd or
// static char*, a pointer into the input, garbage), or whose length claims
// more than its block holds, is not read beyond its block: it throws
// RuntimeError naming `call` and the reason, as does a result too large
// for the memory left.
std::string TakeForeignBstrBytes(const ForeignCall& call, BSTR result);

// The same for a BSTR of ANSI bytes, as the bridge and the demo exports
// return them (embedded NULs kept), converted from the ANSI code page.
std::wstring TakeForeignAnsiBstr(const ForeignCall& call, BSTR result);

}  // namespace dllscope
