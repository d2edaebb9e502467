#include "checker/check_options.h"

#include <cstring>
#include <cwchar>
#include <utility>

namespace dllscope {

const wchar_t kCheckUsage[] =
    L"Aufruf: dllscope-check [Optionen] PLUGIN.dll...\n"
    L"  --bridge DATEI       die Brücke (sonst modbridge.dll neben dllscope-check.exe)\n"
    L"  --text TEXT          der Text für den Lauf (sonst eine kleine HTML-Seite)\n"
    L"  --input DATEI        der Text für den Lauf, aus einer Datei (UTF-8 oder ANSI)\n"
    L"  --output DATEI       das Ergebnis des Laufs in diese Datei (UTF-8) statt auf die Ausgabe\n"
    L"  --run-type-0         auch Plugins mit Rückgabetyp 0 laufen lassen (sie öffnen oft ein "
    L"Fenster)\n"
    L"  --expect-type N      der Rückgabetyp muss N sein\n"
    L"  --expect-output DATEI  das Ergebnis muss Byte für Byte dieser Datei gleichen\n"
    L"  --repeat N           N Zyklen; wachsen Handles, die belegten Bytes der Heaps oder "
    L"privater\n"
    L"                       Speicher nach dem Aufwärmen (dem ersten Fünftel) stetig, ist das ein\n"
    L"                       Leck (N ab 20 empfohlen)\n"
    L"  --timeout S          Sekunden je Aufruf ins Plugin, bis er als hängend gilt (30)\n"
    L"  --strict             Warnungen (Ergebnis in UTF-16, Zeichen außerhalb der ANSI-Codepage,\n"
    L"                       fehlende Ergebnisdatei) lassen das Plugin durchfallen\n"
    L"  --in-process         die Plugins im Prozess des Prüfers laufen lassen statt jedes in\n"
    L"                       einem eigenen (dllscope-host.exe): für den Debugger; ein Plugin,\n"
    L"                       das den Prozess beendet oder hängt, beendet dann die Prüfung;\n"
    L"                       der Speicher misst sich dort nur grob (ein Leck ab 1 KiB je Zyklus)\n"
    L"  --jobs N             N Plugins zugleich prüfen, jedes in seinem eigenen Prozess (0: so\n"
    L"                       viele wie Prozessorkerne; sonst 1); die Berichte in der gegebenen\n"
    L"                       Reihenfolge\n"
    L"  --cases ORDNER       jede Seite NAME.html (.htm, .txt) im Ordner ist ein Testfall; steht\n"
    L"                       NAME.expected.html daneben, muss der Lauf genau das ergeben\n"
    L"  --junit DATEI        ein JUnit-XML-Bericht für die CI (GitHub, GitLab, Jenkins)\n"
    L"  --sarif DATEI        die Funde als SARIF 2.1.0, an Datei und Zeile der Quelltexte\n"
    L"                       (Code-Scanning, Editoren)\n"
    L"  --annotations github jeder Fund als Anmerkung der GitHub-Workflows (mit --json auf die\n"
    L"                       Fehlerausgabe)\n"
    L"  --source-root ORDNER die Pfade der Quelltexte relativ zu diesem Ordner (dem Checkout)\n"
    L"  --stress             dazu die Eingaben, die man vergisst (leer, ein Zeichen, 10 MB, nur "
    L"LF,\n"
    L"                       nur CR, gemischt, außerhalb von ANSI, unausgeglichene und 10.000 "
    L"Ebenen\n"
    L"                       tiefe Tags, eine Zeile von 1 MB, nur Entities)\n"
    L"  --fuzz S             S Sekunden lang Seiten aus den Fällen (sonst kleinen typischen\n"
    L"                       Seiten), die HTML-kundig verändert werden; jeder Fund wird zur\n"
    L"                       kleinsten Seite verkleinert, die noch ebenso scheitert\n"
    L"  --seed N             der Startwert des Fuzzings: dieselben Seiten in derselben Folge\n"
    L"  --coverage           welche Zeilen der Quelltexte die Fälle und das Fuzzing erreichen\n"
    L"                       (aus den Debuginformationen des Plugins, ohne es neu zu bauen;\n"
    L"                       ohne sie zählen die Funktionen der DLL)\n"
    L"  --coverage-xml DATEI die Zeilenabdeckung im Cobertura-Format für die CI\n"
    L"                       (mit --fuzz folgt das Fuzzing den Zeilen: eine Seite, die eine\n"
    L"                       neue Zeile erreicht, wird zum Ausgangspunkt weiterer Seiten)\n"
    L"  --corpus ORDNER      die Seiten, von denen das geleitete Fuzzing ausgeht; die Seiten,\n"
    L"                       die neue Zeilen erreichen, kommen dazu (für den nächsten Lauf)\n"
    L"  --profile            Seiten wachsender Größe (ab 16 KiB, doppelt, bis ein Lauf 2 s\n"
    L"                       braucht oder 64 MiB): wie Zeit und Speicher mit der Seite wachsen\n"
    L"  --max-growth W       mit --profile: ein Plugin, das schlechter wächst als W (linear,\n"
    L"                       nlogn, quadratisch), besteht nicht\n"
    L"  --save-failures ORDNER  jede Stress-Eingabe und jeder Fund, die scheitern, dorthin\n"
    L"                       (für --input)\n"
    L"  --json               ein JSON-Dokument auf die Ausgabe\n"
    L"  --watch              nach der Prüfung auf Änderungen der DLLs, der Fälle, von --input\n"
    L"                       und --expect-output warten und nach jeder erneut prüfen (Strg+C\n"
    L"                       beendet; der Exit-Code ist der des letzten Laufs)\n"
    L"  --help               diese Hilfe\n"
    L"  --version            die Version des Prüfers\n"
    L"Exit-Code: 0 alle bestanden, 1 mindestens eines nicht, 2 Aufruf- oder Einrichtungsfehler, 3 "
    L"ein Plugin hängt.\n";

namespace {

bool Number(const std::wstring& text, int low, int high, int& value) {
    if (text.empty() || text.size() > 9) return false;
    wchar_t* end = nullptr;
    const long n = std::wcstol(text.c_str(), &end, 10);
    if (*end != L'\0' || n < low || n > high) return false;
    value = static_cast<int>(n);
    return true;
}

// The arguments one after another; an option's value is the argument after it.
struct Arguments {
    const std::vector<std::wstring>& list;
    std::wstring& error;
    std::size_t at = 0;

    bool Value(const std::wstring& option, std::wstring& out) {
        if (at + 1 >= list.size()) {
            error = L"Zur Option " + option + L" fehlt ihr Wert.";
            return false;
        }
        out = list[++at];
        return true;
    }
    bool Whole(const std::wstring& option, int low, int high, int& out) {
        std::wstring text;
        if (!Value(option, text)) return false;
        if (Number(text, low, high, out)) return true;
        error = L"Die Option " + option + L" erwartet eine ganze Zahl von " + std::to_wstring(low) +
                L" bis " + std::to_wstring(high) + L", nicht \u201E" + text + L"\u201C.";
        return false;
    }
};

// --max-growth: a growth by the name the profile gives it ("nlogn" for "n log n").
bool ReadGrowth(Arguments& args, std::string& to) {
    std::wstring text;
    if (!args.Value(L"--max-growth", text)) return false;
    for (const char* g : {"linear", "nlogn", "n log n", "quadratisch"}) {
        if (text != std::wstring(g, g + std::strlen(g))) continue;
        to = text == L"nlogn" ? "n log n" : std::string(g);
        return true;
    }
    args.error = L"Die Option --max-growth kennt linear, nlogn und quadratisch, nicht \u201E" +
                 text + L"\u201C.";
    return false;
}

// One option that takes a value or is a switch; false (with the error) when
// it is unknown or its value is wrong.
bool ReadOption(Arguments& args, const std::wstring& a, CheckOptions& o) {
    CheckSettings& s = o.settings;
    const std::pair<const wchar_t*, bool*> switches[] = {
        {L"--run-type-0", &s.runTypeZero}, {L"--stress", &s.stress},
        {L"--profile", &s.profile},        {L"--coverage", &s.coverage},
        {L"--in-process", &s.inProcess},   {L"--json", &o.json},
        {L"--strict", &o.strict},          {L"--watch", &o.watch}};
    const std::pair<const wchar_t*, std::wstring*> texts[] = {
        {L"--bridge", &o.bridge},
        {L"--input", &s.inputFile},
        {L"--output", &s.outputFile},
        {L"--expect-output", &s.expectOutput},
        {L"--cases", &s.casesFolder},
        {L"--junit", &o.junitFile},
        {L"--sarif", &o.sarifFile},
        {L"--coverage-xml", &o.coverageXml},
        {L"--corpus", &s.corpusFolder},
        {L"--source-root", &o.sourceRoot},
        {L"--save-failures", &s.saveFailures}};
    struct Ranged {
        const wchar_t* name;
        int low, high;
        int* to;
    };
    const Ranged numbers[] = {{L"--repeat", 1, 100000, &s.repeat},
                              {L"--timeout", 1, 86400, &o.timeoutSeconds},
                              {L"--fuzz", 1, 86400, &s.fuzzSeconds},
                              {L"--jobs", 0, 64, &o.jobs}};
    for (const auto& [name, to] : switches)
        if (a == name) return *to = true;
    for (const auto& [name, to] : texts)
        if (a == name) return args.Value(a, *to);
    for (const Ranged& r : numbers)
        if (a == r.name) return args.Whole(a, r.low, r.high, *r.to);
    std::wstring text;
    int n = 0;
    if (a == L"--text") return args.Value(a, text) && (s.text = text, true);
    if (a == L"--annotations") {
        if (!args.Value(a, text)) return false;
        if (text == L"github") return o.githubAnnotations = true;
        args.error = L"Die Option --annotations kennt nur \u201Egithub\u201C, nicht \u201E" + text +
                     L"\u201C.";
        return false;
    }
    if (a == L"--max-growth") return ReadGrowth(args, s.maxGrowth);
    if (a == L"--expect-type") return args.Whole(a, -32768, 32767, n) && (s.expectType = n, true);
    if (a == L"--seed")
        return args.Whole(a, 0, 999999999, n) && (s.seed = static_cast<std::uint64_t>(n), true);
    args.error = L"Unbekannte Option \u201E" + a + L"\u201C.";
    return false;
}

}  // namespace

std::optional<CheckOptions> ParseCheckArguments(const std::vector<std::wstring>& arguments,
                                                std::wstring& error) {
    CheckOptions options;
    Arguments args{arguments, error};
    for (; args.at < arguments.size(); ++args.at) {
        const std::wstring& a = arguments[args.at];
        if (a == L"--help" || a == L"-h" || a == L"/?") {
            options.help = true;
            return options;
        } else if (a == L"--version") {
            options.version = true;
            return options;
        } else if (a.size() > 1 && a[0] == L'-') {
            if (!ReadOption(args, a, options)) return std::nullopt;
        } else {
            options.plugins.push_back(a);
        }
    }
    if (options.plugins.empty()) {
        error = L"Es wurde kein Plugin angegeben.";
        return std::nullopt;
    }
    if (options.settings.text && !options.settings.inputFile.empty()) {
        error = L"--text und --input schließen einander aus.";
        return std::nullopt;
    }
    if (!options.settings.maxGrowth.empty() && !options.settings.profile) {
        error = L"--max-growth braucht --profile: erst das Profil misst, wie das Plugin wächst.";
        return std::nullopt;
    }
    if (!options.coverageXml.empty()) options.settings.coverage = true;
    if (options.settings.coverage && options.settings.casesFolder.empty() &&
        !options.settings.stress && !options.settings.fuzzSeconds) {
        error = L"--coverage braucht Läufe, deren Zeilen es zählt: --cases, --stress oder --fuzz.";
        return std::nullopt;
    }
    if (options.settings.inProcess && options.jobs != 1) {
        error =
            L"--jobs prüft Plugins nebeneinander, jedes in seinem eigenen Prozess: das geht "
            L"nicht mit --in-process.";
        return std::nullopt;
    }
    return options;
}

}  // namespace dllscope
