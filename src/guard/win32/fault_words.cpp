#include "guard/win32/fault_words.h"

#include <algorithm>
#include <cwchar>

#include "common/paths.h"
#include "guard/win32/exception_codes.h"
#include "guard/win32/fault_place.h"
#include "guard/win32/guarded_run.h"
#include "symbols/win32/symbol_store.h"

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

std::vector<StackFrame> FaultStack(const ForeignCall& call, const Fault& fault) {
    std::vector<StackFrame> frames =
        FramesOfCall(FramesOf(fault.frames, static_cast<std::size_t>(fault.frameCount)), call.name);
    if (frames.empty()) frames.push_back(FrameOf(fault.address, false));
    // A raised exception starts in the runtime that raised it: from the
    // module's own frame that called it on.
    const std::wstring own = LowerName(call.name);
    if (RaisedBySoftware(fault.code)) {
        const auto first = std::find_if(frames.begin(), frames.end(), [&](const StackFrame& f) {
            return LowerName(f.module) == own;
        });
        if (first != frames.end()) frames.erase(frames.begin(), first);
    }
    return frames;
}

std::wstring DescribeFault(const Fault& fault, const std::vector<StackFrame>& stack,
                           std::size_t frames) {
    std::wstring text = std::wstring(FaultKind(fault.code)) + L" (" + Hex(fault.code, 8) + L")";
    if (fault.accessKnown) {
        text += fault.accessKind == 1   ? L" beim Schreiben an Adresse "
                : fault.accessKind == 8 ? L" beim Ausführen an Adresse "
                                        : L" beim Lesen von Adresse ";
        text += Hex(fault.accessAddress, 1);
    }
    const std::vector<StackFrame> own =
        stack.empty() ? std::vector<StackFrame>{FrameOf(fault.address, false)} : stack;
    const StackFrame& first = own.front();
    const bool raised = RaisedBySoftware(fault.code);
    // Execution at an address in no module: the address was named already.
    const bool named = fault.accessKnown && fault.accessKind == 8 && first.module.empty();
    if (raised && (stack.empty() || first.module.empty())) return text;
    if (named && own.size() < 2) return text;
    if (named)
        return text + L", aufgerufen aus " + StackWords({own.begin() + 1, own.end()}, frames - 1);
    return text +
           (raised                 ? L" ausgelöst in "
            : first.module.empty() ? L" "
                                   : L" in ") +
           StackWords(own, frames);
}

std::wstring FaultKindWords(DWORD code) { return FaultKind(code); }

std::wstring FaultWhere(const Fault& fault) {
    if (RaisedBySoftware(fault.code)) return std::wstring();
    const StackFrame frame = FrameOf(fault.address, false);
    return frame.module.empty() ? L"an Adresse " + frame.place : frame.place;
}

std::wstring FaultPlace(const Fault& fault, const std::vector<StackFrame>& stack) {
    if (RaisedBySoftware(fault.code) || stack.empty()) return FaultWhere(fault);
    return FrameWords(stack.front());
}

bool ReturnMadeOfText(const Fault& fault, std::wstring& text) {
    if (!fault.returnKnown) return false;
    text.clear();
    for (std::size_t i = 0; i < sizeof(ULONG_PTR); ++i) {
        const auto byte = static_cast<unsigned>((fault.returnTarget >> (8 * i)) & 0xFF);
        if (byte < 0x20 || byte > 0x7E) return false;
        text += static_cast<wchar_t>(byte);
    }
    return true;
}

std::wstring CrashReport(const ForeignCall& call, const Fault& fault,
                         const std::vector<StackFrame>& stack) {
    std::wstring report = Named(call) + L" ist " + Action(call) + L" abgestürzt: " +
                          DescribeFault(fault, stack, 3) + L".";
    std::wstring text;
    const bool own = std::any_of(stack.begin(), stack.end(), [&](const StackFrame& f) {
        return LowerName(f.module) == LowerName(call.name);
    });
    if (ReturnMadeOfText(fault, text)) {
        report += L" Die Rücksprungadresse wurde mit Bytes der Seite überschrieben (\u201E" + text +
                  L"\u201C): ein Puffer auf dem Stapel ist übergelaufen.";
    } else if (call.kind == ForeignCallKind::Function &&
               std::wstring(call.subject) == L"Das Plugin" && !RaisedBySoftware(fault.code) &&
               !own) {
        // A plugin's call that faults in another module with none of the
        // plugin's frames below: most often the plugin broke the contract
        // of the call (its result, its convention) rather than that module.
        report +=
            L" Die Stelle liegt außerhalb des Plugins; häufige Ursachen: ein Ergebnis, das kein "
            L"BSTR-Zeiger ist (etwa Pascals WideString), oder eine falsche Aufrufkonvention "
            L"(WINAPI bzw. stdcall vergessen).";
    }
    if (LacksLines(stack, call.name)) report += std::wstring(L" ") + kDebugInfoHint;
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

std::wstring HungReport(const ForeignCall& call, unsigned long long milliseconds,
                        const HangPlace& place) {
    const std::wstring seconds =
        milliseconds < 1000 ? std::wstring(L"weniger als 1") : std::to_wstring(milliseconds / 1000);
    return Named(call) + L" antwortet nicht seit " + seconds + L" s (" + Action(call) + L")" +
           HangPlaceWords(place) + L"; sein Prozess wurde beendet." + HangLinesHint(place);
}

}  // namespace dllscope
