#include "checker/check_session.h"

#include <exception>

#include "checker/cobertura_report.h"
#include "checker/json_report.h"
#include "checker/github_annotations.h"
#include "checker/junit_report.h"
#include "checker/sarif_report.h"
#include "common/error_report.h"
#include "common/runtime_error.h"
#include "common/utf8.h"

namespace dllscope {

int CheckExitCode(const std::vector<PluginReport>& reports) {
    int code = 0;
    for (const PluginReport& r : reports) {
        if (r.Hung()) return 3;
        if (!r.Passed()) code = 1;
    }
    return code;
}

void CheckSession::Begin(const std::wstring& version, int bits, const std::wstring& bridgePath) {
    version_ = version;
    if (options_.json) {
        out_("{\"tool\":\"dllscope-check\",\"version\":\"" + ToUtf8(version) + "\",\"bits\":" +
             std::to_string(bits) + ",\"bridge\":" + JsonString(bridgePath) + ",\"plugins\":[");
    } else {
        out_(ToUtf8(L"dllscope-check " + version + L" (" + std::to_wstring(bits) +
                    L" Bit), Brücke: " + Visible(bridgePath) + L"\n"));
    }
}

void CheckSession::Check(const std::wstring& file,
                         const std::function<void(PluginReport&)>& check) {
    if (finished_) return;
    reports_.emplace_back();
    current_ = &reports_.back();
    current_->file = file;
    current_->warningsFail = options_.strict;
    try {
        check(*current_);
    } catch (const std::exception& e) {
        // Whatever went wrong in checking one plugin ends its check only.
        current_->problems.push_back(L"Die Prüfung dieses Plugins ist abgebrochen: " +
                                     ErrorWords(e));
    }
    if (finished_) return;
    Emit(*current_);
    current_ = nullptr;
}

int CheckSession::End() {
    if (finished_) return 2;
    finished_ = true;
    return Close(CheckExitCode(reports_));
}

int CheckSession::Fail(const std::wstring& why) {
    if (finished_) return 2;
    finished_ = true;
    error_ = why;
    if (current_) Emit(*current_);
    current_ = nullptr;
    return Close(2);
}

std::optional<int> CheckSession::EndedByPlugin(const std::wstring& call) {
    if (finished_ || !current_) return std::nullopt;
    return CloseEarly(
        L"Das Plugin hat den Prozess beendet (beim Aufruf von " + call + L"), ohne zurückzukehren.",
        1);
}

std::optional<int> CheckSession::CrashedByPlugin(const std::wstring& problem) {
    if (finished_ || !current_) return std::nullopt;
    return CloseEarly(problem, 1);
}

std::optional<int> CheckSession::Hung(const ForeignCall& call, unsigned long long milliseconds,
                                      const HangPlace& place) {
    if (!current_ || finished_) return std::nullopt;
    current_->hung = true;
    current_->hang = HangRecord{call.call, milliseconds / 1000.0, place};
    return CloseEarly(L"Der Aufruf von " + call.call + L" ist nach " +
                          std::to_wstring(milliseconds / 1000) + L" Sekunden nicht zurückgekehrt" +
                          HangPlaceWords(place) + L"." + HangLinesHint(place),
                      3);
}

// The plugin under check ends the whole check: its report with `problem`,
// then the report's end with `code`.
int CheckSession::CloseEarly(const std::wstring& problem, int code) {
    finished_ = true;
    current_->problems.push_back(problem);
    if (outputSoFar_) current_->pluginOutput = outputSoFar_();
    Emit(*current_);
    return Close(code);
}

// A plugin's report that does not fit in memory (or cannot be given out)
// is said by a brief one of its own: the document stays whole.
void CheckSession::Emit(PluginReport& r) {
    try {
        EmitWhole(r);
    } catch (const std::exception& e) {
        try {
            PluginReport brief = Brief(r, e);
            EmitWhole(brief);
            r.problems.push_back(brief.problems.front());  // it counts as it was said
        } catch (const std::exception&) {
        }
    }
}

PluginReport CheckSession::Brief(const PluginReport& r, const std::exception& e) {
    PluginReport brief;
    brief.file = r.file.substr(0, 1024);
    brief.bits = r.bits;
    brief.problems.push_back(L"Der Bericht über dieses Plugin konnte nicht ausgegeben werden (" +
                             ErrorWords(e).substr(0, 200) + L"); es gilt als nicht bestanden.");
    return brief;
}

void CheckSession::EmitWhole(const PluginReport& r) {
    if (options_.json) {
        out_((emitted_ ? "," : "") + PluginJson(r));
        ++emitted_;
    } else {
        out_(ToUtf8(PluginText(r)));
        // With cases, the default page's result is no one's question.
        if (r.output && options_.settings.casesFolder.empty() && !options_.settings.stress &&
            !options_.settings.fuzzSeconds && !options_.settings.profile)
            out_(ToUtf8(L"  Ergebnis:\n" + Block(*r.output, L"    ")));
    }
}

// The reports of the findings one by one: SARIF and the CI's annotations.
void CheckSession::WriteFindings(int& code) {
    if (!writeSarif_ && !options_.githubAnnotations) return;
    const std::vector<Finding> findings = Findings(reports_, options_.sourceRoot);
    if (writeSarif_ && !writeSarif_(SarifReport(findings, version_))) {
        code = 2;
        error_ += (error_.empty() ? L"" : L" ") + std::wstring(L"Der SARIF-Bericht \u201E") +
                  options_.sarifFile + L"\u201C kann nicht geschrieben werden.";
    }
    if (options_.githubAnnotations) (annotate_ ? annotate_ : out_)(GithubAnnotations(findings));
}

void CheckSession::WriteCoverage(int& code) {
    if (!writeCoverage_ || writeCoverage_(CoberturaReport(reports_, options_.sourceRoot))) return;
    code = 2;
    error_ += (error_.empty() ? L"" : L" ") + std::wstring(L"Der Abdeckungsbericht \u201E") +
              options_.coverageXml + L"\u201C kann nicht geschrieben werden.";
}

// The JUnit report of every plugin; when that does not fit in memory, of
// their brief reports.
bool CheckSession::WriteJUnit() {
    try {
        return writeJUnit_(JUnitReport(reports_, options_.settings.repeat > 1, error_));
    } catch (const std::exception& e) {
        std::vector<PluginReport> briefs;
        for (const PluginReport& r : reports_) briefs.push_back(Brief(r, e));
        return writeJUnit_(JUnitReport(briefs, false, error_));
    }
}

int CheckSession::Close(int code) {
    bool junit = true;
    try {
        junit = !writeJUnit_ || WriteJUnit();
    } catch (const std::exception&) {
        junit = false;
    }
    if (!junit) {
        code = 2;
        error_ += (error_.empty() ? L"" : L" ") + std::wstring(L"Der JUnit-Bericht \u201E") +
                  options_.junitFile + L"\u201C kann nicht geschrieben werden.";
    }
    try {
        WriteFindings(code);
        WriteCoverage(code);
    } catch (const std::exception& e) {
        code = 2;
        error_ += (error_.empty() ? L"" : L" ") + std::wstring(L"Die Funde konnten nicht ") +
                  L"geschrieben werden (" + ErrorWords(e).substr(0, 200) + L").";
    }
    std::size_t passed = 0;
    for (const PluginReport& r : reports_) passed += r.Passed() ? 1 : 0;
    if (options_.json) {
        out_("],\"passed\":" + std::to_string(passed) +
             ",\"failed\":" + std::to_string(reports_.size() - passed) +
             ",\"error\":" + (error_.empty() ? std::string("null") : JsonString(error_)) +
             ",\"exitCode\":" + std::to_string(code) + "}\n");
    } else {
        if (!error_.empty()) out_(ToUtf8(L"Abgebrochen: " + Visible(error_) + L"\n"));
        const std::wstring cases = CasesSummary(reports_);
        out_(ToUtf8(L"Ergebnis: " + std::to_wstring(passed) + L" von " +
                    std::to_wstring(reports_.size()) + L" bestanden" +
                    (cases.empty() ? std::wstring() : L"; " + cases) + L".\n"));
    }
    return code;
}

}  // namespace dllscope
