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

}  // namespace

int WarmUpCycles(int cycles) { return std::max(1, cycles / 5); }

std::vector<CheckLeak> JudgeGrowth(const std::vector<CycleUsage>& afterCycle,
                                   const std::vector<std::wstring>& newHandleTypes,
                                   bool mingwRuntime) {
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
        CheckLeak leak{L"Handles", handles, steady,
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
        CheckLeak leak{L"TLS-Indizes", slots, steady,
                       GermanDecimal(each) + (each == 1 ? L" TLS-Index" : L" TLS-Indizes") +
                           L" je Zyklus; nach etwa " +
                           std::to_wstring(static_cast<long long>(to.freeTlsSlots / each)) +
                           L" weiteren Ladevorgängen hat der Prozess keinen mehr",
                       mingwRuntime ? kMingwHint : L""};
        leaks.push_back(leak);
    }
    // Heaps grow in steps: judge the whole steady growth, at least 4 KiB a
    // cycle and 64 KiB in all.
    const long long bytes = to.privateBytes - from.privateBytes;
    if (bytes >= 64 * kKiB && bytes >= 4 * kKiB * steady) {
        const long long each = bytes / steady;
        CheckLeak leak{
            L"privater Speicher (Bytes)", bytes, steady,
            GermanDecimal(static_cast<double>((each + kKiB / 2) / kKiB)) + L" KiB je Zyklus", L""};
        if (mingwRuntime && each >= 12 * kKiB && each <= 96 * kKiB) leak.hint = kMingwHint;
        leaks.push_back(leak);
    }
    return leaks;
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
