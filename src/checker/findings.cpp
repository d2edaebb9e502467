#include "checker/findings.h"

#include "check/check_report.h"
#include "common/paths.h"

namespace dllscope {

const FindingRule kFindingRules[7] = {
    {"fault", L"Absturz", L"Das Plugin ist bei einem Aufruf abgestürzt."},
    {"hang", L"Hängt", L"Ein Aufruf des Plugins ist nicht zurückgekehrt."},
    {"leak", L"Leck", L"Das Plugin behält bei jedem Zyklus Handles oder Speicher."},
    {"case", L"Fall", L"Ein Fall (oder eine Stress-Eingabe) ist nicht bestanden."},
    {"fuzz", L"Fund", L"Das Fuzzing hat eine Seite gefunden, an der das Plugin scheitert."},
    {"problem", L"Problem", L"Das Plugin hält sich nicht an das, was Tagsmith erwartet."},
    {"warning", L"Warnung", L"Wahrscheinlich ein Fehler des Plugins."}};

namespace {

std::wstring Slashes(std::wstring path) {
    for (wchar_t& c : path)
        if (c == L'\\') c = L'/';
    return path;
}

bool HasDrive(const std::wstring& path) { return path.size() > 1 && path[1] == L':'; }

// The first frame with a line: where the author looks first.
void Locate(const std::vector<StackFrame>& stack, const std::wstring& root, Finding& f) {
    for (const StackFrame& frame : stack) {
        if (frame.line == 0 || frame.file.empty()) continue;
        f.file = RelativeSource(frame.file, root);
        f.line = frame.line;
        return;
    }
}

class Collector {
  public:
    Collector(const PluginReport& r, const std::wstring& root, std::vector<Finding>& out)
        : r_(r), root_(root), out_(out) {}

    Finding& Add(const char* rule, const std::wstring& what, const std::wstring& message,
                 bool error = true) {
        Finding f;
        f.rule = rule;
        f.error = error;
        f.plugin = r_.file;
        // The plugin's own name, as it gives it: the reports escape it.
        f.title =
            what + L" in " + r_.file + (r_.name.empty() ? L"" : L" (\u201E" + r_.name + L"\u201C)");
        f.message = message;
        out_.push_back(std::move(f));
        return out_.back();
    }

    void Run() {
        if (!r_.diagnosis.empty()) Add("problem", L"Kein Plugin", r_.diagnosis);
        for (const FaultRecord& fault : r_.faults)
            Locate(fault.stack, root_, Add("fault", L"Absturz", fault.message));
        if (r_.hung) {
            Finding& f = Add("hang", L"Hängt", Joined(r_.problems));
            if (r_.hang) Locate(r_.hang->place.stack, root_, f);
        }
        for (const CheckLeak& l : r_.leaks)
            Add("leak", L"Leck", L"Leck: " + l.perCycle + L" (" + l.what + L")");
        if (!r_.hung)
            for (const std::wstring& p : r_.problems) Add("problem", L"Problem", p);
        for (const std::wstring& w : r_.warnings) Add("warning", L"Warnung", w, r_.warningsFail);
        for (const CaseResult& c : r_.cases) {
            if (c.verdict == Verdict::Passed || c.fuzz) continue;
            Finding& f = Add(c.verdict == Verdict::Hang ? "hang" : "case",
                             std::wstring(c.stress ? L"Stress-Eingabe " : L"Fall ") + L"\u201E" +
                                 c.name + L"\u201C",
                             c.problem.empty() ? VerdictWords(c.verdict) : c.problem);
            f.page = c.name;
            Locate(c.stack, root_, f);
        }
        if (!r_.fuzz) return;
        for (const FuzzFinding& ff : r_.fuzz->findings) {
            Finding& f = Add("fuzz", FindingTitle(ff), ff.message);
            f.page = ff.input;
            Locate(ff.stack, root_, f);
        }
    }

  private:
    static std::wstring Joined(const std::vector<std::wstring>& texts) {
        std::wstring all;
        for (const std::wstring& t : texts) all += (all.empty() ? L"" : L" ") + t;
        return all.empty() ? std::wstring(L"Ein Aufruf ist nicht zurückgekehrt.") : all;
    }

    const PluginReport& r_;
    const std::wstring& root_;
    std::vector<Finding>& out_;
};

}  // namespace

std::wstring RelativeSource(const std::wstring& file, const std::wstring& root) {
    std::wstring path = Slashes(file), base = Slashes(root);
    if (base.empty()) return path;
    // Under Wine a Unix path comes as Z:/…; a path the compiler recorded
    // on Unix has no drive: compare without it.
    if (HasDrive(base) && !HasDrive(path)) base = base.substr(2);
    while (base.size() > 1 && base.back() == L'/') base.pop_back();
    const bool windows = HasDrive(path);
    const std::wstring head = path.substr(0, base.size());
    const bool below = (windows ? LowerName(head) == LowerName(base) : head == base) &&
                       path.size() > base.size() && path[base.size()] == L'/';
    return below ? path.substr(base.size() + 1) : path;
}

std::vector<Finding> Findings(const std::vector<PluginReport>& reports,
                              const std::wstring& sourceRoot) {
    std::vector<Finding> findings;
    for (const PluginReport& r : reports) Collector(r, sourceRoot, findings).Run();
    return findings;
}

}  // namespace dllscope
