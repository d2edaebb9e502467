#include "check/judge.h"

#include <algorithm>
#include <map>

#include "common/german_number.h"

namespace dllscope {
namespace {

// The system's handle types in the report's words.
std::wstring HandleTypeWords(const std::wstring& type) {
    static const std::map<std::wstring, std::wstring> words{
        {L"Event", L"Ereignis"},    {L"Semaphore", L"Semaphor"},
        {L"Mutant", L"Mutex"},      {L"Thread", L"Thread"},
        {L"File", L"Datei"},        {L"Key", L"Registrierungsschlüssel"},
        {L"Section", L"Abschnitt"}, {L"Process", L"Prozess"},
        {L"Timer", L"Zeitgeber"},   {L"IoCompletion", L"E/A-Abschluss"}};
    const auto found = words.find(type);
    return found == words.end() ? (type.empty() ? L"unbekannt" : type) : found->second;
}

constexpr long long kKiB = 1024;

// A growth spread over the steady cycles, not a step: each half of them has
// at least a quarter of it.
bool Spread(const std::vector<long long>& series, int from, long long least) {
    const int to = static_cast<int>(series.size()) - 1, middle = from + (to - from) / 2;
    const long long growth = series[to] - series[from];
    return growth >= least && 4 * (series[middle] - series[from]) >= growth &&
           4 * (series[to] - series[middle]) >= growth;
}

// What the MinGW runtime keeps a load when nobody releases it.
bool KnownSize(long long each) { return each >= 12 * kKiB && each <= 96 * kKiB; }

std::wstring BytesPerCycle(long long each) {
    if (each < kKiB) return std::to_wstring(each) + (each == 1 ? L" Byte" : L" Bytes");
    return GermanDecimal(static_cast<double>((each * 10 + kKiB / 2) / kKiB) / 10) + L" KiB";
}

// What the plugin keeps in the heaps (the bytes in use, to the byte), and
// committed memory beyond them (what it takes from the system directly, or
// through an allocator of its own). A heap's one-off growth is a step in a
// single cycle, which the halves tell from a leak.
void JudgeMemory(const std::vector<CycleUsage>& afterCycle, int warmUp, const std::wstring& hint,
                 bool checkersProcess, std::vector<CheckLeak>& leaks) {
    const int steady = static_cast<int>(afterCycle.size()) - warmUp, from = warmUp - 1;
    std::vector<long long> heap, committed;
    bool walked = true;
    for (const CycleUsage& u : afterCycle) {
        walked = walked && u.heapBytes >= 0;
        heap.push_back(u.heapBytes);
        committed.push_back(u.privateBytes);
    }
    long long inHeaps = 0;
    if (walked && Spread(heap, from, (checkersProcess ? kKiB : 64) * steady)) {
        inHeaps = heap.back() - heap[from];
        const long long each = inHeaps / steady;
        std::wstring why = KnownSize(each) ? hint : L"";
        if (checkersProcess) {
            why += std::wstring(why.empty() ? L"" : L" ") +
                   L"Gemessen im Prozess des Prüfers (--in-process): seine eigene Arbeit zählt "
                   L"mit, die Menge ist dort nur ungefähr, und unter 1 KiB je Zyklus bleibt ein "
                   L"Leck ungesehen. Genau misst die Prüfung ohne --in-process.";
        }
        leaks.push_back({kHeapLeak, inHeaps, steady, BytesPerCycle(each) + L" je Zyklus", why});
    }
    // Committed memory grows in steps of 64 KiB: judge only what the heaps
    // do not explain, at least 4 KiB a cycle and 64 KiB in all.
    const long long beyond = committed.back() - committed[from] - inHeaps;
    if (Spread(committed, from, 64 * kKiB) && beyond >= 64 * kKiB && beyond >= 4 * kKiB * steady) {
        const long long each = beyond / steady;
        leaks.push_back({kCommittedLeak, beyond, steady, BytesPerCycle(each) + L" je Zyklus",
                         KnownSize(each) ? hint : L""});
    }
}

}  // namespace

int WarmUpCycles(int cycles) { return std::max(1, cycles / 5); }

std::vector<CheckLeak> JudgeGrowth(const std::vector<CycleUsage>& afterCycle,
                                   const std::vector<std::wstring>& newHandleTypes,
                                   bool mingwRuntime, bool checkersProcess) {
    std::vector<CheckLeak> leaks;
    const int cycles = static_cast<int>(afterCycle.size());
    const int warmUp = WarmUpCycles(cycles);
    const int steady = cycles - warmUp;
    if (steady < 1) return leaks;
    const CycleUsage& from = afterCycle[warmUp - 1];
    const CycleUsage& to = afterCycle.back();
    const std::wstring kMingwHint =
        L"Das ist das bekannte Muster der statisch gelinkten Laufzeit von MinGW-g++ (der "
        L"Notvorrat für Ausnahmen von libstdc++; auf 32 Bit dazu der Thread-Eintrag von "
        L"winpthreads: ein Ereignis, ein Thread-Handle und ein TLS-Index): rufe TsReleaseRuntime() "
        L"aus tagsmith_plugin.h in DllMain bei DLL_PROCESS_DETACH auf, oder schreibe "
        L"TS_PLUGIN_DLLMAIN für ein DllMain, das es tut.";

    // A real leak grows with (nearly) every cycle; a handle that comes once
    // in a while (the system's own) does not make one.
    const long long handles = to.handles - from.handles;
    if (handles >= 2 && 2 * handles >= steady) {
        std::map<std::wstring, int> types;
        for (const std::wstring& type : newHandleTypes) ++types[HandleTypeWords(type)];
        std::wstring named;
        for (const auto& [type, count] : types) named += (named.empty() ? L"" : L", ") + type;
        const double each = static_cast<double>(handles) / steady;
        CheckLeak leak{kHandleLeak, handles, steady,
                       GermanDecimal(each) + (each == 1 ? L" Handle" : L" Handles") +
                           (named.empty() ? L"" : L" (" + named + L")") + L" je Zyklus",
                       L""};
        const bool knownTypes =
            types.size() == 2 && types.count(L"Ereignis") && types.count(L"Thread");
        if (mingwRuntime && knownTypes) leak.hint = kMingwHint;
        leaks.push_back(leak);
    }
    // TLS indexes are few: one a load runs out after about a thousand loads.
    const long long slots = from.freeTlsSlots - to.freeTlsSlots;
    if (slots >= 2 && 2 * slots >= steady) {
        const double each = static_cast<double>(slots) / steady;
        CheckLeak leak{kTlsLeak, slots, steady,
                       GermanDecimal(each) + (each == 1 ? L" TLS-Index" : L" TLS-Indizes") +
                           L" je Zyklus; nach etwa " +
                           std::to_wstring(static_cast<long long>(to.freeTlsSlots / each)) +
                           L" weiteren Ladevorgängen hat der Prozess keinen mehr",
                       mingwRuntime ? kMingwHint : L""};
        leaks.push_back(leak);
    }
    // A heap made in each cycle and never destroyed.
    const long long heaps = to.heaps - from.heaps;
    if (from.heaps >= 0 && to.heaps >= 0 && heaps >= 2 && 2 * heaps >= steady) {
        const double each = static_cast<double>(heaps) / steady;
        leaks.push_back({L"Heaps", heaps, steady,
                         GermanDecimal(each) + (each == 1 ? L" Heap" : L" Heaps") +
                             L" je Zyklus (HeapCreate ohne HeapDestroy)",
                         L""});
    }
    JudgeMemory(afterCycle, warmUp, mingwRuntime ? kMingwHint : L"", checkersProcess, leaks);
    return leaks;
}

std::wstring TakeThreadRecordResidue(const std::vector<CycleUsage>& afterCycle,
                                     std::vector<CheckLeak>& leaks) {
    const auto heap = std::find_if(leaks.begin(), leaks.end(),
                                   [](const CheckLeak& l) { return l.what == kHeapLeak; });
    if (heap == leaks.end()) return L"";
    // The same amount in every steady cycle, and no more than the record's.
    const long long each = heap->growth / heap->cycles;
    if (each > 512) return L"";
    for (std::size_t i = afterCycle.size() - heap->cycles; i < afterCycle.size(); ++i) {
        if (afterCycle[i].heapBytes - afterCycle[i - 1].heapBytes != each) return L"";
    }
    leaks.erase(heap);
    return L"In jedem Zyklus bleiben genau " + std::to_wstring(each) +
           L" Bytes in den Heaps: so viel behält die eingebundene Thread-Bibliothek winpthreads "
           L"von MinGW-g++ (32 Bit) für den Thread, der das Plugin lädt, und gibt es beim "
           L"Entladen nicht zurück; keine Funktion, auch TsReleaseRuntime nicht, kann es "
           L"freigeben. Das zählt nicht als Leck des Plugins. Ohne diesen Rest baut g++ mit dem "
           L"Thread-Modell win32 (i686-w64-mingw32-g++-win32) oder ein anderer Compiler.";
}

bool LinksWinpthreadsStatically(const std::string& bytes) {
    return bytes.find("winpthreads") != std::string::npos &&
           bytes.find("libwinpthread-1.dll") == std::string::npos;
}

bool LooksLikeUtf16(const std::wstring& result) {
    std::size_t pairs = 0, wide = 0;
    for (std::size_t i = 0; i + 1 < result.size() && pairs < 256; i += 2, ++pairs) {
        const wchar_t low = result[i];
        if (result[i + 1] == 0 && low >= 0x20 && low < 0x7F) ++wide;
        if (result[i + 1] == 0 && (low == L'\r' || low == L'\n' || low == L'\t')) ++wide;
    }
    return wide >= 2 && 4 * wide >= 3 * pairs;
}

std::wstring Utf16Warning() {
    return L"Das Ergebnis sieht nach UTF-16 aus (Nullbytes zwischen ASCII-Zeichen): Tagsmith "
           L"erwartet ANSI-Bytes. Mach es mit SysAllocStringByteLen aus einem char-Text, nicht "
           L"mit SysAllocString aus einem wchar_t-Text.";
}

std::wstring BeyondAnsiWarning(const std::vector<std::wstring>& characters) {
    std::wstring named;
    for (const std::wstring& c : characters)
        named += (named.empty() ? L"\u201E" : L"\u201C, \u201E") + c;
    return L"Die Eingabe enthält Zeichen, die die ANSI-Codepage dieses Systems nicht darstellen "
           L"kann (" +
           named +
           L"\u201C): das Plugin bekommt an ihrer Stelle Ersatzzeichen, wie in Tagsmith auch.";
}

bool FirstDifference(const std::string& expected, const std::string& actual, Difference& where) {
    if (expected == actual) return false;
    std::size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
    const std::size_t lineStart = at == 0 ? 0 : expected.rfind('\n', at - 1) + 1;
    const auto line = [lineStart](const std::string& text) {
        if (lineStart >= text.size()) return std::string();
        std::size_t end = text.find('\n', lineStart);
        if (end == std::string::npos) end = text.size();
        if (end > lineStart && text[end - 1] == '\r') --end;
        return text.substr(lineStart, std::min<std::size_t>(end - lineStart, 200));
    };
    where.line = 1 + static_cast<std::size_t>(
                         std::count(expected.begin(), expected.begin() + lineStart, '\n'));
    where.byte = at;
    where.expected = line(expected);
    where.actual = line(actual);
    return true;
}

}  // namespace dllscope
