#include "check/check_cases.h"

#include <algorithm>
#include <cstdio>

#include "changes/line_diff.h"
#include "common/paths.h"
#include "common/utf8.h"

namespace dllscope {
namespace {

bool EndsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string Seconds(double milliseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", milliseconds / 1000);
    return text;
}

}  // namespace

std::string XmlText(const std::string& text) {
    static const std::string kReplacement = "\xEF\xBF\xBD";  // U+FFFD
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '"') {
            out += "&quot;";
        } else if (u < 0x20 && c != '\n' && c != '\t' && c != '\r') {
            out += kReplacement;  // not allowed in XML 1.0
        } else if (u == 0xEF && i + 2 < text.size() && text[i + 1] == '\xBF' &&
                   (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
            out += kReplacement;  // U+FFFE and U+FFFF: no characters of XML either
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<CaseFiles> FindCases(const std::wstring& folder, std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end());
    std::vector<CaseFiles> cases;
    for (const std::wstring& name : names) {
        const std::wstring lower = LowerName(name);
        std::wstring extension;
        for (const wchar_t* e : {L".html", L".htm", L".txt"})
            if (EndsWith(lower, e)) extension = e;
        if (extension.empty()) continue;
        const std::wstring stem = name.substr(0, name.size() - extension.size());
        if (EndsWith(LowerName(stem), L".expected")) continue;
        const std::wstring expected = stem + L".expected" + name.substr(stem.size());
        const bool has = std::find_if(names.begin(), names.end(), [&](const std::wstring& n) {
                             return LowerName(n) == LowerName(expected);
                         }) != names.end();
        cases.push_back({name, InFolder(folder, name), has ? InFolder(folder, expected) : L""});
    }
    return cases;
}

std::vector<StressInput> StressInputs() {
    const std::wstring line =
        L"<p>Plugins f\u00fcr Tagsmith: <b>Gr\u00fc\u00dfe</b> &amp; Text.</p>";
    std::wstring big, longLine, nested, entities;
    while (big.size() < 10 * 1000 * 1000) big += line + L"\r\n";
    while (longLine.size() < 1000 * 1000) longLine += line;
    for (int i = 0; i < 10000; ++i) nested += L"<div>";
    nested += L"tief";
    for (int i = 0; i < 10000; ++i) nested += L"</div>";
    while (entities.size() < 10000) entities += L"&amp;&lt;&gt;&quot;&nbsp;&#8364;&#x1F600;";
    return {
        {L"leer.html", L""},
        {L"ein-zeichen.html", L"<"},
        {L"10-mb.html", big},
        {L"nur-lf.html", L"<p>eins</p>\n<p>zwei</p>\n<p>drei</p>\n"},
        {L"nur-cr.html", L"<p>eins</p>\r<p>zwei</p>\r<p>drei</p>\r"},
        {L"gemischte-umbrueche.html", L"<p>eins</p>\r\n<p>zwei</p>\n<p>drei</p>\r<p>vier</p>"},
        {L"ausserhalb-ansi.html", L"<p>\u0141\u00f3d\u017a \u65e5\u672c \u20ac \U0001F600</p>"},
        {L"unausgeglichen.html", L"<html><body><p><b>offen<i>kreuz</b></i></div></span>"},
        {L"10000-ebenen.html", nested},
        {L"eine-zeile-1-mb.html", longLine},
        {L"nur-entities.html", entities},
    };
}

std::string UnifiedDiff(const std::string& expected, const std::string& actual,
                        const std::string& expectedName, const std::string& actualName) {
    if (expected == actual) return std::string();
    const LineDiff diff = DiffLines(expected, actual);
    // Each line with its numbers in both texts.
    struct Numbered {
        const DiffLine* line;
        std::size_t a, b;  // 1-based line before it in each text
    };
    std::vector<Numbered> lines;
    std::size_t a = 0, b = 0;
    for (const DiffLine& l : diff.lines) {
        lines.push_back({&l, a, b});
        if (l.kind != LineKind::Inserted) ++a;
        if (l.kind != LineKind::Removed) ++b;
    }
    std::string out = "--- " + expectedName + "\n+++ " + actualName + "\n";
    constexpr std::size_t kContext = 3;
    std::size_t i = 0;
    while (i < lines.size()) {
        if (lines[i].line->kind == LineKind::Same) {
            ++i;
            continue;
        }
        // A hunk: from three lines before this change to three after the last
        // change that lies within six lines of the one before.
        std::size_t start = i >= kContext ? i - kContext : 0, end = i;
        for (std::size_t j = i; j < lines.size(); ++j) {
            if (lines[j].line->kind != LineKind::Same)
                end = j;
            else if (j - end > 2 * kContext)
                break;
        }
        const std::size_t stop = std::min(lines.size(), end + kContext + 1);
        std::size_t countA = 0, countB = 0;
        for (std::size_t j = start; j < stop; ++j) {
            countA += lines[j].line->kind != LineKind::Inserted;
            countB += lines[j].line->kind != LineKind::Removed;
        }
        out += "@@ -" + std::to_string(lines[start].a + (countA ? 1 : 0)) + "," +
               std::to_string(countA) + " +" + std::to_string(lines[start].b + (countB ? 1 : 0)) +
               "," + std::to_string(countB) + " @@\n";
        for (std::size_t j = start; j < stop; ++j) {
            const DiffLine& l = *lines[j].line;
            std::string text(l.text);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
            out += (l.kind == LineKind::Same      ? " "
                    : l.kind == LineKind::Removed ? "-"
                                                  : "+") +
                   text;
            // A changed line break shows as such.
            const std::string_view broken = l.text.substr(text.size());
            if (broken == "\r\n")
                out += "\n";
            else if (broken == "\n")
                out += "  [LF]\n";
            else if (broken == "\r")
                out += "  [CR]\n";
            else
                out += "\n\\ Kein Zeilenumbruch am Ende\n";
        }
        i = stop;
    }
    return out;
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

std::string JUnitReport(const std::vector<PluginReport>& reports, bool leakCheck) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"dllscope-check\">\n";
    for (const PluginReport& r : reports) {
        const std::string suite = XmlText(ToUtf8(r.file));
        struct Case {
            std::string name, kind, message, details;  // kind: "", "failure", "error"
            double milliseconds;
            std::string out;  // the plugin's own output
        };
        std::vector<Case> cases;
        // The selection, the run and everything that is not a case's or the leak check's.
        Case selection{"Auswahl (Rückgabetyp, Name, Beschreibung)", "", "", "", 0, ""};
        if (r.pluginOutput) selection.out = ToUtf8(r.pluginOutput->text);
        for (const CheckRun& run : r.runs) selection.milliseconds += run.milliseconds;
        std::string why;
        if (!r.diagnosis.empty()) why += ToUtf8(r.diagnosis) + "\n";
        for (const CheckFault& f : r.faults) why += ToUtf8(f.message) + "\n";
        for (const std::wstring& p : r.problems) why += ToUtf8(p) + "\n";
        if (r.warningsFail)
            for (const std::wstring& w : r.warnings) why += "Warnung: " + ToUtf8(w) + "\n";
        if (!why.empty()) {
            selection.kind = r.hung ? "error" : "failure";
            selection.message = why.substr(0, why.find('\n'));
            selection.details = why;
        }
        cases.push_back(selection);
        for (const CaseResult& c : r.cases) {
            Case k{(c.fuzz ? "" : c.stress ? "Stress " : "Fall ") + ToUtf8(c.name),
                   "",
                   "",
                   "",
                   c.milliseconds,
                   ""};
            if (c.verdict != "passed") {
                k.kind = c.verdict == "failed" ? "failure" : "error";  // a hang, an ended process
                k.message = ToUtf8(c.problem);
                k.details = ToUtf8(c.problem) + "\n" + ToUtf8(c.diff);
            }
            cases.push_back(k);
        }
        if (leakCheck) {
            Case leak{"Leckprüfung (" + std::to_string(r.cycles) + " Zyklen)", "", "", "", 0, ""};
            for (const CheckLeak& l : r.leaks)
                leak.details += ToUtf8(l.what + L": " + l.perCycle) + "\n";
            if (!r.leaks.empty()) {
                leak.kind = "failure";
                leak.message = leak.details.substr(0, leak.details.find('\n'));
            }
            cases.push_back(leak);
        }
        std::size_t failures = 0, errors = 0;
        double total = 0;
        for (const Case& c : cases) {
            failures += c.kind == "failure";
            errors += c.kind == "error";
            total += c.milliseconds;
        }
        out += "  <testsuite name=\"" + suite + "\" tests=\"" + std::to_string(cases.size()) +
               "\" failures=\"" + std::to_string(failures) + "\" errors=\"" +
               std::to_string(errors) + "\" skipped=\"0\" time=\"" + Seconds(total) + "\">\n";
        for (const Case& c : cases) {
            out += "    <testcase classname=\"" + suite + "\" name=\"" + XmlText(c.name) +
                   "\" time=\"" + Seconds(c.milliseconds) + "\"";
            if (c.kind.empty() && c.out.empty()) {
                out += "/>\n";
                continue;
            }
            out += ">\n";
            if (!c.kind.empty())
                out += "      <" + c.kind + " message=\"" + XmlText(c.message) + "\">" +
                       XmlText(c.details) + "</" + c.kind + ">\n";
            if (!c.out.empty()) out += "      <system-out>" + XmlText(c.out) + "</system-out>\n";
            out += "    </testcase>\n";
        }
        out += "  </testsuite>\n";
    }
    return out + "</testsuites>\n";
}

}  // namespace dllscope
