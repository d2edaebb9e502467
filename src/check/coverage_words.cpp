#include "check/coverage_words.h"

#include <algorithm>

#include "common/paths.h"

namespace dllscope {
namespace {

constexpr std::size_t kStretchesNamed = 8;

std::wstring FilesWords(const LineCoverage& c) {
    if (c.files.size() == 1) return FileNameOf(c.files[0].file);
    if (c.files.size() == 2)
        return FileNameOf(c.files[0].file) + L" und " + FileNameOf(c.files[1].file);
    return std::to_wstring(c.files.size()) + L" Dateien";
}

std::wstring StretchWords(const MissedStretch& s, bool functions) {
    if (functions) return s.function;
    return FileNameOf(s.file) + L":" + std::to_wstring(s.from) +
           (s.to > s.from ? L"\u2013" + std::to_wstring(s.to) : std::wstring()) +
           (s.function.empty() ? std::wstring() : L" (" + s.function + L")");
}

}  // namespace

std::wstring ReachWords(const LineCoverage& c) {
    if (c.linesTotal == 0) return L"keine Zeilen: das Plugin hat keine eigenen";
    std::wstring t = std::to_wstring(c.linesReached * 100 / c.linesTotal) +
                     (c.functions ? L" % der Funktionen von " : L" % der Zeilen von ") +
                     FilesWords(c) + L" (" + std::to_wstring(c.linesReached) + L" von " +
                     std::to_wstring(c.linesTotal) +
                     (c.functions ? L", die der Laufzeitbibliothek mitgezählt: ohne "
                                    L"Debuginformationen zählen nur die Anfänge der Funktionen; "
                                    L"für Zeilen mit -g bauen)"
                                  : L")");
    for (std::size_t i = 0; i < c.stretches.size() && i <= kStretchesNamed; ++i) {
        t += i == 0 ? L"; nie erreicht: " : L", ";
        if (i == kStretchesNamed) {
            t += L"\u2026 (" + std::to_wstring(c.stretches.size() - i) + L" weitere)";
            break;
        }
        t += StretchWords(c.stretches[i], c.functions);
    }
    return t;
}

std::wstring CoverageLines(const PluginReport& r) {
    std::wstring t;
    if (r.coverage) {
        const bool ownCases = std::any_of(r.cases.begin(), r.cases.end(),
                                          [](const CaseResult& c) { return !c.stress && !c.fuzz; });
        t += std::wstring(r.coverage->functions ? L"  Funktionsabdeckung: "
                                                : L"  Zeilenabdeckung: ") +
             std::wstring(ownCases ? L"Ihre Fälle erreichen " : L"Die Prüfung erreicht ") +
             ReachWords(*r.coverage) + L"\n";
    }
    if (r.fuzzCoverage)
        t += std::wstring(r.fuzzCoverage->functions ? L"  Funktionsabdeckung"
                                                    : L"  Zeilenabdeckung") +
             L" mit dem Fuzzing: " + ReachWords(*r.fuzzCoverage) + L"\n";
    return t;
}

}  // namespace dllscope
