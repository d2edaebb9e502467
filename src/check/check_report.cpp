#include "check/check_report.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "check/coverage_words.h"
#include "common/german_number.h"
#include "plugin/bridge.h"

namespace dllscope {
namespace {

// A message that may hold lines of its own: the first behind the label, the
// others below it as a block.
std::wstring Lines(const std::wstring& text, const std::wstring& indent) {
    const std::size_t end = std::min(text.find_first_of(L"\r\n"), text.size());
    const std::size_t rest = text.compare(end, 2, L"\r\n") == 0 ? end + 2 : end + 1;
    return Visible(text.substr(0, end)) + L"\n" +
           (rest < text.size() ? Block(text.substr(rest), indent) : std::wstring());
}

}  // namespace

std::wstring CodeHex(unsigned long code) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08lX", code);
    return text;
}

Verdict PluginVerdict(const PluginReport& r) {
    return r.Hung() ? Verdict::Hang : r.Passed() ? Verdict::Passed : Verdict::Failed;
}

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

namespace {

// A fault's report; the sentence names three frames, the whole stack below it.
std::wstring FaultText(const FaultRecord& f) {
    std::wstring t = L"  Absturz (" + CodeHex(f.code) + L"): " + Lines(f.message, L"    ");
    if (f.stack.size() > 3) {
        t += L"    Aufrufstapel:\n";
        for (const StackFrame& frame : f.stack) t += L"      " + Visible(FrameWords(frame)) + L"\n";
    }
    return t;
}

}  // namespace

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
    for (const FaultRecord& f : r.faults) t += FaultText(f);
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
    for (const std::wstring& n : r.notes) t += L"  Hinweis: " + Lines(n, L"    ");
    for (const CaseResult& c : r.cases) {
        t += (c.fuzz     ? L"  "
              : c.stress ? L"  Stress \u201E"
                         : L"  Fall \u201E") +
             Visible(c.name) + (c.fuzz ? L": " : L"\u201C: ") + VerdictWords(c.verdict) + L" (" +
             GermanDecimal(c.milliseconds) + L" ms, " + std::to_wstring(c.charactersIn) +
             L" Zeichen hinein, " + std::to_wstring(c.charactersOut) + L" heraus)\n";
        if (!c.problem.empty()) t += L"    " + Lines(c.problem, L"      ");
        if (!c.diff.empty()) t += Block(FirstLines(c.diff, 40), L"    ");
    }
    if (!r.cases.empty()) t += L"  " + CasesSummary({r}) + L"\n";
    t += CoverageLines(r);
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
    return t + L"  => " + VerdictWords(PluginVerdict(r)) + L"\n";
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
    if (f.kind == L"Leck") return f.kind + L" (" + f.place + L")";
    // A place outside every module is "an Adresse 0x…" already.
    return f.kind + (f.place.rfind(L"an Adresse ", 0) == 0 ? L" " : L" in ") + f.place;
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
