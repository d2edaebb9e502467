#include "check/check_report.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <map>

#include "common/german_number.h"
#include "common/utf8.h"
#include "plugin/bridge.h"

namespace dllscope {
namespace {

std::string Hex(unsigned long code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", code);
    return text;
}

std::wstring WideHex(unsigned long code) {
    const std::string h = Hex(code);
    return std::wstring(h.begin(), h.end());
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

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

std::wstring Decimal(double value) {
    return GermanNumber(value, value == static_cast<long long>(value) ? 0 : 1);
}

constexpr long long kKiB = 1024;

// A message that may hold lines of its own: the first behind the label, the
// others below it as a block.
std::wstring Lines(const std::wstring& text, const std::wstring& indent) {
    const std::size_t end = std::min(text.find_first_of(L"\r\n"), text.size());
    const std::size_t rest = text.compare(end, 2, L"\r\n") == 0 ? end + 2 : end + 1;
    return Visible(text.substr(0, end)) + L"\n" +
           (rest < text.size() ? Block(text.substr(rest), indent) : std::wstring());
}

Verdict OfPlugin(const PluginReport& r) {
    return r.Hung() ? Verdict::Hang : r.Passed() ? Verdict::Passed : Verdict::Failed;
}

}  // namespace

std::wstring Visible(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (const wchar_t c : text) {
        const unsigned long u = static_cast<unsigned long>(c);
        if (c == L'\n') {
            out += L"\\n";
        } else if (c == L'\r') {
            out += L"\\r";
        } else if (c == L'\t') {
            out += c;
        } else if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || u == 0x2028 || u == 0x2029) {
            wchar_t code[12];
            std::swprintf(code, 12, u < 0x100 ? L"\\x%02lX" : L"\\u%04lX", u);
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

std::wstring Block(const std::wstring& text, const std::wstring& indent) {
    std::wstring out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find_first_of(L"\r\n", at);
        if (end == std::wstring::npos) end = text.size();
        out += indent + L"| " + Visible(text.substr(at, end - at)) + L"\n";
        at = end;
        if (at < text.size() && text[at] == L'\r') {
            ++at;
            if (at < text.size() && text[at] == L'\n') ++at;
        } else if (at < text.size()) {
            ++at;
        }
    }
    return out;
}

std::string JsonString(const std::wstring& text) {
    std::string out = "\"";
    for (const char c : ToUtf8(text)) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string PluginJson(const PluginReport& r) {
    std::string j = "{\"file\":" + JsonString(r.file);
    j += ",\"bits\":" + (r.bits ? std::to_string(r.bits) : std::string("null"));
    j += ",\"diagnosis\":" + (r.diagnosis.empty() ? std::string("null") : JsonString(r.diagnosis));
    if (r.code) {
        const wchar_t* words = ReturnTypeWords(static_cast<std::int16_t>(*r.code));
        j += ",\"returnType\":{\"code\":" + std::to_string(*r.code) +
             ",\"words\":" + (words ? JsonString(words) : std::string("null")) + "}";
    } else {
        j += ",\"returnType\":null";
    }
    j += ",\"name\":" + JsonString(r.name) + ",\"description\":" + JsonString(r.description);
    j += ",\"runs\":[";
    for (std::size_t i = 0; i < r.runs.size(); ++i) {
        const CheckRun& run = r.runs[i];
        j += (i ? "," : "") + std::string("{\"charactersIn\":") + std::to_string(run.charactersIn) +
             ",\"charactersOut\":" + std::to_string(run.charactersOut) +
             ",\"milliseconds\":" + Number(run.milliseconds) + "}";
    }
    j += "],\"faults\":[";
    for (std::size_t i = 0; i < r.faults.size(); ++i) {
        const FaultRecord& f = r.faults[i];
        j += (i ? "," : "") + std::string("{\"call\":") + JsonString(f.call) +
             ",\"kind\":" + JsonString(f.kind) + ",\"code\":\"" + Hex(f.code) +
             "\",\"where\":" + JsonString(f.where) + ",\"place\":" + JsonString(f.place) +
             ",\"message\":" + JsonString(f.message) + "}";
    }
    j += "],\"leaks\":[";
    for (std::size_t i = 0; i < r.leaks.size(); ++i) {
        const CheckLeak& l = r.leaks[i];
        j += (i ? "," : "") + std::string("{\"what\":") + JsonString(l.what) +
             ",\"growth\":" + std::to_string(l.growth) + ",\"cycles\":" + std::to_string(l.cycles) +
             ",\"perCycle\":" + JsonString(l.perCycle) +
             ",\"hint\":" + (l.hint.empty() ? std::string("null") : JsonString(l.hint)) + "}";
    }
    const auto list = [](const std::vector<std::wstring>& texts) {
        std::string out = "[";
        for (std::size_t i = 0; i < texts.size(); ++i) out += (i ? "," : "") + JsonString(texts[i]);
        return out + "]";
    };
    j += "],\"problems\":" + list(r.problems) + ",\"warnings\":" + list(r.warnings) +
         ",\"cycles\":" + std::to_string(r.cycles);
    if (r.output) j += ",\"output\":" + JsonString(*r.output);
    j += ",\"cases\":[";
    for (std::size_t i = 0; i < r.cases.size(); ++i) {
        const CaseResult& c = r.cases[i];
        j += (i ? "," : "") + std::string("{\"name\":") + JsonString(c.name) + ",\"verdict\":\"" +
             VerdictName(c.verdict) + "\",\"milliseconds\":" + Number(c.milliseconds) +
             ",\"charactersIn\":" + std::to_string(c.charactersIn) +
             ",\"charactersOut\":" + std::to_string(c.charactersOut) +
             ",\"problem\":" + (c.problem.empty() ? std::string("null") : JsonString(c.problem)) +
             ",\"diff\":" + (c.diff.empty() ? std::string("null") : JsonString(c.diff)) + "}";
    }
    j += "],\"fuzz\":";
    if (r.fuzz) {
        j += "{\"seed\":" + std::to_string(r.fuzz->seed) +
             ",\"runs\":" + std::to_string(r.fuzz->runs) +
             ",\"seconds\":" + Number(r.fuzz->seconds) + ",\"findings\":[";
        for (std::size_t i = 0; i < r.fuzz->findings.size(); ++i) {
            const FuzzFinding& f = r.fuzz->findings[i];
            j += (i ? "," : "") + std::string("{\"kind\":") + JsonString(f.kind) +
                 ",\"place\":" + (f.place.empty() ? std::string("null") : JsonString(f.place)) +
                 ",\"message\":" + JsonString(f.message) +
                 ",\"mutation\":" + JsonString(f.mutation) + ",\"input\":" + JsonString(f.input) +
                 ",\"bytes\":" + std::to_string(f.bytes) +
                 ",\"file\":" + (f.file.empty() ? std::string("null") : JsonString(f.file)) + "}";
        }
        j += "]}";
    } else {
        j += "null";
    }
    j += ",\"profile\":";
    if (r.profile) {
        const auto numbers = [](const std::vector<double>& values) {
            std::string out = "[";
            for (std::size_t i = 0; i < values.size(); ++i)
                out += (i ? "," : "") + Number(values[i]);
            return out + "]";
        };
        j += "{\"sizes\":" + numbers(r.profile->sizes) +
             ",\"milliseconds\":" + numbers(r.profile->milliseconds) +
             ",\"peakBytes\":" + numbers(r.profile->peakBytes) +
             ",\"exponent\":" + Number(r.profile->exponent) + ",\"growth\":" +
             JsonString(std::wstring(r.profile->growth.begin(), r.profile->growth.end())) +
             ",\"words\":" + JsonString(r.profile->words) + ",\"stopped\":" +
             (r.profile->stopped.empty() ? std::string("null") : JsonString(r.profile->stopped)) +
             "}";
    } else {
        j += "null";
    }
    j += ",\"pluginOutput\":";
    if (r.pluginOutput) {
        j += "{\"text\":" + JsonString(r.pluginOutput->text) +
             ",\"bytes\":" + std::to_string(r.pluginOutput->bytes) +
             ",\"leftOutBytes\":" + std::to_string(r.pluginOutput->leftOut()) + "}";
    } else {
        j += "null";
    }
    return j + ",\"verdict\":\"" + VerdictName(OfPlugin(r)) + "\"}";
}

std::wstring PluginText(const PluginReport& r) {
    std::wstring t =
        Visible(r.file) + (r.bits ? L": " + std::to_wstring(r.bits) + L"-Bit-DLL\n" : L"\n");
    // A DLL that is no plugin: why, once; the bridge's -1 and its words say nothing more.
    if (!r.diagnosis.empty()) {
        t += L"  kein Plugin: " + Lines(r.diagnosis, L"    ");
    } else if (r.code) {
        const wchar_t* words = ReturnTypeWords(static_cast<std::int16_t>(*r.code));
        t += L"  Rückgabetyp: " + std::to_wstring(*r.code) +
             (words ? L" (" + std::wstring(words) + L")" : L"") + L"\n";
        t += L"  Name: " + Visible(r.name) + L"\n  Beschreibung: " + Visible(r.description) + L"\n";
    }
    for (std::size_t i = 0; i < r.runs.size(); ++i) {
        const CheckRun& run = r.runs[i];
        t += L"  Lauf " + std::to_wstring(i + 1) + L": " + std::to_wstring(run.charactersIn) +
             L" Zeichen hinein, " + std::to_wstring(run.charactersOut) + L" heraus, " +
             std::to_wstring(static_cast<long long>(run.milliseconds)) + L" ms\n";
    }
    if (r.cycles > 1) t += L"  Zyklen: " + std::to_wstring(r.cycles) + L" durchlaufen\n";
    for (const FaultRecord& f : r.faults)
        t += L"  Absturz (" + WideHex(f.code) + L"): " + Lines(f.message, L"    ");
    std::vector<std::wstring> hints;
    for (const CheckLeak& l : r.leaks) {
        t += L"  Leck: " + l.perCycle + L" (" + l.what + L" +" + std::to_wstring(l.growth) +
             L" in " + std::to_wstring(l.cycles) + L" Zyklen nach dem Aufwärmen)\n";
        if (!l.hint.empty() && std::find(hints.begin(), hints.end(), l.hint) == hints.end())
            hints.push_back(l.hint);
    }
    for (const std::wstring& hint : hints) t += L"    " + Lines(hint, L"    ");
    for (const std::wstring& p : r.problems) t += L"  " + Lines(p, L"    ");
    for (const std::wstring& w : r.warnings) t += L"  Warnung: " + Lines(w, L"    ");
    for (const CaseResult& c : r.cases) {
        t += (c.fuzz     ? L"  "
              : c.stress ? L"  Stress \u201E"
                         : L"  Fall \u201E") +
             Visible(c.name) + (c.fuzz ? L": " : L"\u201C: ") + VerdictWords(c.verdict) + L" (" +
             Decimal(c.milliseconds) + L" ms, " + std::to_wstring(c.charactersIn) +
             L" Zeichen hinein, " + std::to_wstring(c.charactersOut) + L" heraus)\n";
        if (!c.problem.empty()) t += L"    " + Lines(c.problem, L"      ");
        if (!c.diff.empty()) t += Block(FirstLines(c.diff, 40), L"    ");
    }
    if (!r.cases.empty()) t += L"  " + CasesSummary({r}) + L"\n";
    if (r.profile) {
        t += L"  Profil: " + Visible(r.profile->words) + L"\n";
        if (!r.profile->stopped.empty()) t += L"    " + Lines(r.profile->stopped, L"      ");
    }
    if (r.pluginOutput) {
        const PluginOutput& o = *r.pluginOutput;
        t += L"  Ausgabe des Plugins (" + std::to_wstring(o.bytes) + L" Bytes" +
             (o.leftOut() ? L", die ersten " + std::to_wstring(kPluginOutputKept) + L" gezeigt"
                          : std::wstring()) +
             L"):\n" + Block(o.text, L"    ");
    }
    return t + L"  => " + VerdictWords(OfPlugin(r)) + L"\n";
}

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::Passed:
            return "passed";
        case Verdict::Failed:
            return "failed";
        case Verdict::Hang:
            return "hang";
        case Verdict::Ended:
            return "ended";
        case Verdict::Leak:
            return "leak";
    }
    return "failed";
}

std::wstring VerdictWords(Verdict verdict) {
    return verdict == Verdict::Passed ? L"bestanden"
           : verdict == Verdict::Hang ? L"hängt"
                                      : L"nicht bestanden";
}

std::wstring FindingTitle(const FuzzFinding& f) {
    if (f.place.empty()) return f.kind;
    return f.kind == L"Leck" ? f.kind + L" (" + f.place + L")" : f.kind + L" in " + f.place;
}

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
                       Decimal(each) + (each == 1 ? L" Handle" : L" Handles") +
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
                       Decimal(each) + (each == 1 ? L" TLS-Index" : L" TLS-Indizes") +
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
        CheckLeak leak{L"privater Speicher (Bytes)", bytes, steady,
                       Decimal(static_cast<double>((each + kKiB / 2) / kKiB)) + L" KiB je Zyklus",
                       L""};
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

std::wstring CasesSummary(const std::vector<PluginReport>& reports) {
    std::size_t all = 0, passed = 0;
    for (const PluginReport& r : reports) {
        all += r.cases.size();
        for (const CaseResult& c : r.cases) passed += c.verdict == Verdict::Passed;
    }
    if (all == 0) return std::wstring();
    return L"Fälle: " + std::to_wstring(passed) + L" von " + std::to_wstring(all) + L" bestanden";
}

int CheckExitCode(const std::vector<PluginReport>& reports) {
    int code = 0;
    for (const PluginReport& r : reports) {
        if (r.Hung()) return 3;
        if (!r.Passed()) code = 1;
    }
    return code;
}

std::wstring FirstLines(const std::wstring& text, std::size_t lines) {
    std::size_t at = 0;
    for (std::size_t n = 0; n < lines; ++n) {
        at = text.find(L'\n', at);
        if (at == std::wstring::npos) return text;
        ++at;
    }
    if (at >= text.size()) return text;
    const auto left = static_cast<std::size_t>(std::count(text.begin() + at, text.end(), L'\n'));
    return text.substr(0, at) + L"… (" + std::to_wstring(left) + L" Zeilen mehr im JSON-Bericht)\n";
}

}  // namespace dllscope
