#include "checker/json_report.h"

#include <cstdio>

#include "check/check_report.h"
#include "common/utf8.h"
#include "plugin/bridge.h"

namespace dllscope {
namespace {

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// A JSON array of `items`, each written by `write`.
template <class T, class Write>
std::string ArrayJson(const std::vector<T>& items, Write write) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + write(items[i]);
    return out + "]";
}

std::string NullOr(const std::wstring& text) {
    return text.empty() ? std::string("null") : JsonString(text);
}

std::string TextsJson(const std::vector<std::wstring>& texts) {
    return ArrayJson(texts, [](const std::wstring& t) { return JsonString(t); });
}

std::string RunsJson(const std::vector<CheckRun>& runs) {
    return ArrayJson(runs, [](const CheckRun& run) {
        return "{\"charactersIn\":" + std::to_string(run.charactersIn) +
               ",\"charactersOut\":" + std::to_string(run.charactersOut) +
               ",\"milliseconds\":" + Number(run.milliseconds) + "}";
    });
}

std::string StackJson(const std::vector<StackFrame>& stack) {
    return ArrayJson(stack, [](const StackFrame& f) {
        return "{\"module\":" + NullOr(f.module) + ",\"function\":" + NullOr(f.function) +
               ",\"file\":" + NullOr(f.file) +
               ",\"line\":" + (f.line ? std::to_string(f.line) : std::string("null")) +
               ",\"place\":" + JsonString(f.place) + "}";
    });
}

// Lines and their shares: a hang's and a profile's hot spots.
std::string LinesJson(const std::vector<LineShare>& lines) {
    return ArrayJson(lines, [](const LineShare& l) {
        return "{\"file\":" + NullOr(l.file) +
               ",\"line\":" + (l.line ? std::to_string(l.line) : std::string("null")) +
               ",\"function\":" + NullOr(l.function) + ",\"place\":" + JsonString(l.place) +
               ",\"share\":" + Number(l.share) + "}";
    });
}

std::string HangJson(const HangRecord* hang) {
    if (!hang) return "null";
    return "{\"call\":" + JsonString(hang->call) + ",\"seconds\":" + Number(hang->seconds) +
           ",\"stack\":" + StackJson(hang->place.stack) +
           ",\"lines\":" + LinesJson(hang->place.lines) + "}";
}

std::string FaultsJson(const std::vector<FaultRecord>& faults) {
    return ArrayJson(faults, [](const FaultRecord& f) {
        return "{\"call\":" + JsonString(f.call) + ",\"kind\":" + JsonString(f.kind) +
               ",\"code\":" + JsonString(CodeHex(f.code)) + ",\"where\":" + JsonString(f.where) +
               ",\"place\":" + JsonString(f.place) + ",\"message\":" + JsonString(f.message) +
               ",\"stack\":" + StackJson(f.stack) + "}";
    });
}

std::string LeaksJson(const std::vector<CheckLeak>& leaks) {
    return ArrayJson(leaks, [](const CheckLeak& l) {
        return "{\"what\":" + JsonString(l.what) + ",\"growth\":" + std::to_string(l.growth) +
               ",\"cycles\":" + std::to_string(l.cycles) +
               ",\"perCycle\":" + JsonString(l.perCycle) + ",\"hint\":" + NullOr(l.hint) + "}";
    });
}

std::string CasesJson(const std::vector<CaseResult>& cases) {
    return ArrayJson(cases, [](const CaseResult& c) {
        return "{\"name\":" + JsonString(c.name) + ",\"verdict\":\"" + VerdictName(c.verdict) +
               "\",\"milliseconds\":" + Number(c.milliseconds) +
               ",\"charactersIn\":" + std::to_string(c.charactersIn) +
               ",\"charactersOut\":" + std::to_string(c.charactersOut) +
               ",\"problem\":" + NullOr(c.problem) + ",\"diff\":" + NullOr(c.diff) +
               ",\"stack\":" + StackJson(c.stack) + "}";
    });
}

std::string NumbersJson(const std::vector<std::uint32_t>& numbers) {
    return ArrayJson(numbers, [](std::uint32_t n) { return std::to_string(n); });
}

// The lines reached: in all, and for each file which. Counted by functions,
// the "lines" are the functions' addresses.
std::string CoverageJson(const std::optional<LineCoverage>& c) {
    if (!c) return "null";
    return "{\"unit\":" + std::string(c->functions ? "\"functions\"" : "\"lines\"") +
           ",\"linesReached\":" + std::to_string(c->linesReached) +
           ",\"linesTotal\":" + std::to_string(c->linesTotal) + ",\"files\":" +
           ArrayJson(c->files,
                     [](const FileCoverage& f) {
                         return "{\"file\":" + JsonString(f.file) +
                                ",\"reached\":" + NumbersJson(f.reached) +
                                ",\"missed\":" + NumbersJson(f.missed) + "}";
                     }) +
           "}";
}

std::string FuzzJson(const FuzzSummary& fuzz) {
    return "{\"seed\":" + std::to_string(fuzz.seed) + ",\"runs\":" + std::to_string(fuzz.runs) +
           ",\"guided\":" + (fuzz.guided ? "true" : "false") +
           ",\"grown\":" + std::to_string(fuzz.grown) + ",\"seconds\":" + Number(fuzz.seconds) +
           ",\"findings\":" +
           ArrayJson(fuzz.findings,
                     [](const FuzzFinding& f) {
                         return "{\"kind\":" + JsonString(f.kind) +
                                ",\"place\":" + NullOr(f.place) +
                                ",\"message\":" + JsonString(f.message) +
                                ",\"mutation\":" + JsonString(f.mutation) +
                                ",\"input\":" + JsonString(f.input) +
                                ",\"bytes\":" + std::to_string(f.bytes) +
                                ",\"file\":" + NullOr(f.file) + ",\"stack\":" + StackJson(f.stack) +
                                ",\"afterRuns\":" + std::to_string(f.afterRuns) +
                                ",\"afterSeconds\":" + Number(f.afterSeconds) + "}";
                     }) +
           "}";
}

std::string ProfileJson(const ProfileSummary& p) {
    const auto numbers = [](const std::vector<double>& values) {
        return ArrayJson(values, [](double v) { return Number(v); });
    };
    return "{\"sizes\":" + numbers(p.sizes) + ",\"milliseconds\":" + numbers(p.milliseconds) +
           ",\"peakBytes\":" + numbers(p.peakBytes) + ",\"hotspots\":" + LinesJson(p.hotspots) +
           ",\"exponent\":" + Number(p.exponent) +
           ",\"growth\":" + JsonString(std::wstring(p.growth.begin(), p.growth.end())) +
           ",\"words\":" + JsonString(p.words) + ",\"stopped\":" + NullOr(p.stopped) + "}";
}

}  // namespace

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
    j += ",\"runs\":" + RunsJson(r.runs) + ",\"faults\":" + FaultsJson(r.faults) +
         ",\"leaks\":" + LeaksJson(r.leaks);
    j += ",\"problems\":" + TextsJson(r.problems) + ",\"warnings\":" + TextsJson(r.warnings) +
         ",\"notes\":" + TextsJson(r.notes) + ",\"cycles\":" + std::to_string(r.cycles);
    if (r.output) j += ",\"output\":" + JsonString(*r.output);
    j += ",\"cases\":" + CasesJson(r.cases);
    j += ",\"hang\":" + HangJson(r.FirstHang());
    j += ",\"fuzz\":" + (r.fuzz ? FuzzJson(*r.fuzz) : std::string("null"));
    j += ",\"profile\":" + (r.profile ? ProfileJson(*r.profile) : std::string("null"));
    j += ",\"coverage\":" + CoverageJson(r.coverage) +
         ",\"fuzzCoverage\":" + CoverageJson(r.fuzzCoverage);
    j += ",\"pluginOutput\":";
    if (r.pluginOutput) {
        j += "{\"text\":" + JsonString(r.pluginOutput->text) +
             ",\"bytes\":" + std::to_string(r.pluginOutput->bytes) +
             ",\"leftOutBytes\":" + std::to_string(r.pluginOutput->leftOut()) + "}";
    } else {
        j += "null";
    }
    return j + ",\"verdict\":\"" + VerdictName(PluginVerdict(r)) + "\"}";
}

}  // namespace dllscope
