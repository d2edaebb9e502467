#include "checker/junit_report.h"

#include <cstdio>

#include "common/utf8.h"

namespace dllscope {
namespace {

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

namespace {

struct JUnitCase {
    std::string name, kind, message, details;  // kind: "", "failure", "error"
    double milliseconds;
    std::string out;  // the plugin's own output
};

// The selection, the run and everything that is not a case's or the leak check's.
JUnitCase SelectionCase(const PluginReport& r) {
    JUnitCase selection{"Auswahl (Rückgabetyp, Name, Beschreibung)", "", "", "", 0, ""};
    if (r.pluginOutput) selection.out = ToUtf8(r.pluginOutput->text);
    for (const CheckRun& run : r.runs) selection.milliseconds += run.milliseconds;
    std::string why;
    if (!r.diagnosis.empty()) why += ToUtf8(r.diagnosis) + "\n";
    for (const FaultRecord& f : r.faults) {
        why += ToUtf8(f.message) + "\n";
        for (const StackFrame& frame : f.stack) why += "  " + ToUtf8(FrameWords(frame)) + "\n";
    }
    for (const std::wstring& p : r.problems) why += ToUtf8(p) + "\n";
    if (r.warningsFail)
        for (const std::wstring& w : r.warnings) why += "Warnung: " + ToUtf8(w) + "\n";
    if (!why.empty()) {
        selection.kind = r.hung ? "error" : "failure";
        selection.message = why.substr(0, why.find('\n'));
        selection.details = why;
    }
    return selection;
}

std::vector<JUnitCase> CasesOf(const PluginReport& r, bool leakCheck) {
    std::vector<JUnitCase> cases{SelectionCase(r)};
    for (const CaseResult& c : r.cases) {
        JUnitCase k{(c.fuzz ? "" : c.stress ? "Stress " : "Fall ") + ToUtf8(c.name),
                    "",
                    "",
                    "",
                    c.milliseconds,
                    ""};
        if (c.verdict != Verdict::Passed) {
            // A fault or a leak fails; a hang or an ended process is an error.
            k.kind =
                c.verdict == Verdict::Failed || c.verdict == Verdict::Leak ? "failure" : "error";
            k.message = ToUtf8(c.problem);
            k.details = ToUtf8(c.problem) + "\n" + ToUtf8(c.diff);
        }
        cases.push_back(k);
    }
    if (leakCheck) {
        JUnitCase leak{"Leckprüfung (" + std::to_string(r.cycles) + " Zyklen)", "", "", "", 0, ""};
        for (const CheckLeak& l : r.leaks)
            leak.details += ToUtf8(l.what + L": " + l.perCycle) + "\n";
        if (!r.leaks.empty()) {
            leak.kind = "failure";
            leak.message = leak.details.substr(0, leak.details.find('\n'));
        }
        cases.push_back(leak);
    }
    return cases;
}

std::string SuiteXml(const std::string& suite, const std::vector<JUnitCase>& cases) {
    std::size_t failures = 0, errors = 0;
    double total = 0;
    for (const JUnitCase& c : cases) {
        failures += c.kind == "failure";
        errors += c.kind == "error";
        total += c.milliseconds;
    }
    std::string out = "  <testsuite name=\"" + suite + "\" tests=\"" +
                      std::to_string(cases.size()) + "\" failures=\"" + std::to_string(failures) +
                      "\" errors=\"" + std::to_string(errors) + "\" skipped=\"0\" time=\"" +
                      Seconds(total) + "\">\n";
    for (const JUnitCase& c : cases) {
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
    return out + "  </testsuite>\n";
}

}  // namespace

std::string JUnitReport(const std::vector<PluginReport>& reports, bool leakCheck,
                        const std::wstring& error) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"dllscope-check\">\n";
    for (const PluginReport& r : reports)
        out += SuiteXml(XmlText(ToUtf8(r.file)), CasesOf(r, leakCheck));
    // A check that could not be made is no empty report: CI shows why.
    if (!error.empty()) {
        out += SuiteXml("dllscope-check", {{"Prüfung", "error", ToUtf8(error), "", 0, ""}});
    }
    return out + "</testsuites>\n";
}

}  // namespace dllscope
