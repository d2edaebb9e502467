#include "checker/sarif_report.h"

#include <cstdio>

#include "checker/json_report.h"
#include "common/utf8.h"

namespace dllscope {
namespace {

int RuleIndex(const char* rule) {
    for (int i = 0; i < 7; ++i)
        if (std::string(kFindingRules[i].id) == rule) return i;
    return 0;
}

std::string Message(const std::wstring& text) { return "{\"text\":" + JsonString(text) + "}"; }

std::string Rules() {
    std::string rules;
    for (const FindingRule& r : kFindingRules) {
        rules += std::string(rules.empty() ? "" : ",") + "{\"id\":\"" + r.id +
                 "\",\"name\":" + JsonString(r.name) +
                 ",\"shortDescription\":" + Message(r.description) + "}";
    }
    return "[" + rules + "]";
}

std::string Result(const Finding& f) {
    const bool located = !f.file.empty() && f.line > 0;
    std::string location = "{\"physicalLocation\":{\"artifactLocation\":{\"uri\":\"" +
                           SourceUri(located ? f.file : f.plugin) + "\"}";
    if (located) location += ",\"region\":{\"startLine\":" + std::to_string(f.line) + "}";
    location += "}}";
    std::string properties = "{\"plugin\":" + JsonString(f.plugin);
    if (!f.page.empty()) properties += ",\"page\":" + JsonString(f.page);
    properties += "}";
    return "{\"ruleId\":\"" + std::string(f.rule) +
           "\",\"ruleIndex\":" + std::to_string(RuleIndex(f.rule)) + ",\"level\":\"" +
           (f.error ? "error" : "warning") +
           "\",\"message\":" + Message(f.title + L": " + f.message) + ",\"locations\":[" +
           location + "],\"properties\":" + properties + "}";
}

}  // namespace

std::string SourceUri(const std::wstring& path) {
    std::string bytes = ToUtf8(path), uri;
    for (char& c : bytes)
        if (c == '\\') c = '/';
    if (bytes.size() > 1 && bytes[1] == ':')
        uri = "file:///";
    else if (!bytes.empty() && bytes[0] == '/')
        uri = "file://";
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        const bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                           (u >= '0' && u <= '9') ||
                           std::string("-._~/:").find(c) != std::string::npos;
        if (plain) {
            uri += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", u);
            uri += escaped;
        }
    }
    return uri;
}

std::string SarifReport(const std::vector<Finding>& findings, const std::wstring& version) {
    std::string results;
    for (const Finding& f : findings) results += (results.empty() ? "" : ",") + Result(f);
    return "{\"version\":\"2.1.0\",\"runs\":[{\"tool\":{\"driver\":{\"name\":\"dllscope-check\","
           "\"version\":" +
           JsonString(version) + ",\"rules\":" + Rules() + "}},\"results\":[" + results + "]}]}\n";
}

}  // namespace dllscope
