#include "guard/win32/fault_words.h"

#include <cwchar>

#include "common/paths.h"
#include "guard/win32/exception_codes.h"
#include "guard/win32/fault_place.h"
#include "guard/win32/guarded_run.h"

namespace dllscope {
namespace {

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
        case 0xC0000374:
            return L"Heap beschädigt";
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

}  // namespace

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

std::wstring CrashReport(const ForeignCall& call, const Fault& fault) {
    std::wstring report =
        Named(call) + L" ist " + Action(call) + L" abgestürzt: " + DescribeFault(fault) + L".";
    // A plugin's call that faults in another module: most often the plugin
    // broke the contract of the call rather than that module.
    if (call.kind == ForeignCallKind::Function && std::wstring(call.subject) == L"Das Plugin" &&
        !RaisedBySoftware(fault.code) &&
        LowerName(PlaceOf(fault.address).module) != LowerName(call.name)) {
        report +=
            L" Die Stelle liegt außerhalb des Plugins; häufige Ursachen: ein Ergebnis, das kein "
            L"BSTR-Zeiger ist (etwa Pascals WideString), oder eine falsche Aufrufkonvention "
            L"(WINAPI bzw. stdcall vergessen).";
    }
    return report;
}

std::wstring EndedReport(const ForeignCall& call, DWORD exitCode) {
    if (exitCode < 0xC0000000) {
        return Named(call) + L" hat " + Action(call) + L" den Prozess beendet (Exit-Code " +
               std::to_wstring(exitCode) + L").";
    }
    const wchar_t* kind = FaultKind(exitCode);
    return Named(call) + L" hat seinen Prozess " + Action(call) +
           L" zum Absturz gebracht: Prozess endete mit " + Hex(exitCode, 8) +
           (std::wstring(kind) == L"Ausnahme" ? std::wstring()
                                              : L" (" + std::wstring(kind) + L")") +
           L".";
}

std::wstring HungReport(const ForeignCall& call, unsigned long long milliseconds) {
    return Named(call) + L" antwortet nicht seit " + std::to_wstring(milliseconds / 1000) +
           L" s (" + Action(call) + L"); sein Prozess wurde beendet.";
}

}  // namespace dllscope
