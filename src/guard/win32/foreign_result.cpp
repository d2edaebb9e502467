#include "guard/win32/foreign_result.h"

#include <cstring>
#include <exception>

#include "common/runtime_error.h"
#include "common/win32/ansi.h"
#include "guard/win32/fault_place.h"
#include "guard/win32/fault_words.h"
#include "guard/win32/guard.h"

namespace dllscope {
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
    return ForeignAnsiText(call, TakeForeignBstrBytes(call, result));
}

std::wstring ForeignAnsiText(const ForeignCall& call, const std::string& bytes) {
    try {
        return FromAnsi(bytes.data(), bytes.size());
    } catch (const std::exception&) {  // bad_alloc, length_error
        throw TooLarge(call, bytes.size());
    }
}

}  // namespace dllscope
