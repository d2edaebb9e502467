#include "checker/json_report.h"

#include <cstdio>

#include "check/check_report.h"
#include "common/utf8.h"
#include "plugin/bridge.h"

namespace dllscope {
namespace {

std::string Hex(unsigned long code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", code);
    return text;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
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
    return j + ",\"verdict\":\"" + VerdictName(PluginVerdict(r)) + "\"}";
}

}  // namespace dllscope
