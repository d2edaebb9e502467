#include "checker/cobertura_report.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "checker/findings.h"
#include "checker/junit_report.h"
#include "common/utf8.h"

namespace dllscope {
namespace {

std::string Rate(std::size_t reached, std::size_t total) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", total ? double(reached) / double(total) : 0.0);
    return text;
}

std::string Attribute(const std::wstring& text) { return XmlText(ToUtf8(text)); }

// The widest coverage a report has: the fuzzing's, else the cases'.
const LineCoverage* Widest(const PluginReport& r) {
    if (r.fuzzCoverage) return &*r.fuzzCoverage;
    return r.coverage ? &*r.coverage : nullptr;
}

// Counted by functions, a class has methods and no lines: the module's
// functions by name.
std::string MethodsXml(const FileCoverage& f) {
    std::string x;
    const auto add = [&x](const std::vector<std::wstring>& names, const char* rate) {
        for (const std::wstring& name : names)
            x += "          <method name=\"" + Attribute(name) + "\" signature=\"\" line-rate=\"" +
                 rate + "\" branch-rate=\"0\"><lines/></method>\n";
    };
    add(f.reachedNames, "1");
    add(f.missedNames, "0");
    return x;
}

std::string ClassXml(const FileCoverage& f, bool functions, const std::wstring& sourceRoot) {
    const std::wstring path = functions ? f.file : RelativeSource(f.file, sourceRoot);
    const std::size_t slash = path.find_last_of(L'/');
    const std::size_t reached = f.reached.size(), total = reached + f.missed.size();
    std::string x = "      <class name=\"" +
                    Attribute(slash == std::wstring::npos ? path : path.substr(slash + 1)) +
                    "\" filename=\"" + Attribute(path) + "\" line-rate=\"" + Rate(reached, total) +
                    "\" branch-rate=\"0\" complexity=\"0\">\n";
    if (functions)
        return x + "        <methods>\n" + MethodsXml(f) +
               "        </methods>\n        <lines/>\n      </class>\n";
    x += "        <methods/>\n        <lines>\n";
    std::vector<std::pair<std::uint32_t, int>> lines;
    for (std::uint32_t n : f.reached) lines.push_back({n, 1});
    for (std::uint32_t n : f.missed) lines.push_back({n, 0});
    std::sort(lines.begin(), lines.end());
    for (const auto& [number, hits] : lines)
        x += "          <line number=\"" + std::to_string(number) + "\" hits=\"" +
             std::to_string(hits) + "\" branch=\"false\"/>\n";
    return x + "        </lines>\n      </class>\n";
}

}  // namespace

std::string CoberturaReport(const std::vector<PluginReport>& reports,
                            const std::wstring& sourceRoot) {
    std::size_t reached = 0, total = 0;
    std::string packages;
    for (const PluginReport& r : reports) {
        const LineCoverage* c = Widest(r);
        if (!c) continue;
        reached += c->linesReached;
        total += c->linesTotal;
        packages += "    <package name=\"" + Attribute(r.file) + "\" line-rate=\"" +
                    Rate(c->linesReached, c->linesTotal) +
                    "\" branch-rate=\"0\" complexity=\"0\">\n      <classes>\n";
        for (const FileCoverage& f : c->files) packages += ClassXml(f, c->functions, sourceRoot);
        packages += "      </classes>\n    </package>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<coverage line-rate=\"" +
           Rate(reached, total) + "\" branch-rate=\"0\" lines-covered=\"" +
           std::to_string(reached) + "\" lines-valid=\"" + std::to_string(total) +
           "\" branches-covered=\"0\" branches-valid=\"0\" complexity=\"0\" "
           "version=\"dllscope\" timestamp=\"0\">\n  <sources>\n    <source>" +
           Attribute(sourceRoot.empty() ? L"." : sourceRoot) + "</source>\n  </sources>\n" +
           "  <packages>\n" + packages + "  </packages>\n</coverage>\n";
}

}  // namespace dllscope
