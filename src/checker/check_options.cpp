#include "checker/check_options.h"

#include <cwchar>

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
    L"  --repeat N           N Zyklen; wachsen Handles oder privater Speicher nach dem Aufwärmen\n"
    L"                       (dem ersten Fünftel) stetig, ist das ein Leck (N ab 20 empfohlen)\n"
    L"  --timeout S          Sekunden je Aufruf ins Plugin, bis er als hängend gilt (30)\n"
    L"  --strict             Warnungen (Ergebnis in UTF-16, Zeichen außerhalb der ANSI-Codepage,\n"
    L"                       fehlende Ergebnisdatei) lassen das Plugin durchfallen\n"
    L"  --in-process         die Plugins im Prozess des Prüfers laufen lassen statt jedes in\n"
    L"                       einem eigenen (dllscope-host.exe): für den Debugger; ein Plugin,\n"
    L"                       das den Prozess beendet oder hängt, beendet dann die Prüfung\n"
    L"  --cases ORDNER       jede Seite NAME.html (.htm, .txt) im Ordner ist ein Testfall; steht\n"
    L"                       NAME.expected.html daneben, muss der Lauf genau das ergeben\n"
    L"  --junit DATEI        ein JUnit-XML-Bericht für die CI (GitHub, GitLab, Jenkins)\n"
    L"  --stress             dazu die Eingaben, die man vergisst (leer, ein Zeichen, 10 MB, nur "
    L"LF,\n"
    L"                       nur CR, gemischt, außerhalb von ANSI, unausgeglichene und 10.000 "
    L"Ebenen\n"
    L"                       tiefe Tags, eine Zeile von 1 MB, nur Entities)\n"
    L"  --fuzz S             S Sekunden lang Seiten aus den Fällen (sonst kleinen typischen\n"
    L"                       Seiten), die HTML-kundig verändert werden; jeder Fund wird zur\n"
    L"                       kleinsten Seite verkleinert, die noch ebenso scheitert\n"
    L"  --seed N             der Startwert des Fuzzings: dieselben Seiten in derselben Folge\n"
    L"  --profile            Seiten wachsender Größe (ab 16 KiB, doppelt, bis ein Lauf 2 s\n"
    L"                       braucht oder 64 MiB): wie Zeit und Speicher mit der Seite wachsen\n"
    L"  --save-failures ORDNER  jede Stress-Eingabe und jeder Fund, die scheitern, dorthin\n"
    L"                       (für --input)\n"
    L"  --json               ein JSON-Dokument auf die Ausgabe\n"
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

}  // namespace

std::optional<CheckOptions> ParseCheckArguments(const std::vector<std::wstring>& arguments,
                                                std::wstring& error) {
    CheckOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& a = arguments[i];
        const auto value = [&](std::wstring& out) {
            if (i + 1 >= arguments.size()) {
                error = L"Zur Option " + a + L" fehlt ihr Wert.";
                return false;
            }
            out = arguments[++i];
            return true;
        };
        const auto number = [&](int low, int high, int& out) {
            std::wstring text;
            if (!value(text)) return false;
            if (!Number(text, low, high, out)) {
                error = L"Die Option " + a + L" erwartet eine ganze Zahl von " +
                        std::to_wstring(low) + L" bis " + std::to_wstring(high) +
                        L", nicht \u201E" + text + L"\u201C.";
                return false;
            }
            return true;
        };
        std::wstring text;
        int n = 0;
        if (a == L"--bridge") {
            if (!value(options.bridge)) return std::nullopt;
        } else if (a == L"--text") {
            if (!value(text)) return std::nullopt;
            options.settings.text = text;
        } else if (a == L"--input") {
            if (!value(options.settings.inputFile)) return std::nullopt;
        } else if (a == L"--output") {
            if (!value(options.settings.outputFile)) return std::nullopt;
        } else if (a == L"--expect-output") {
            if (!value(options.settings.expectOutput)) return std::nullopt;
        } else if (a == L"--expect-type") {
            if (!number(-32768, 32767, n)) return std::nullopt;
            options.settings.expectType = n;
        } else if (a == L"--repeat") {
            if (!number(1, 100000, options.settings.repeat)) return std::nullopt;
        } else if (a == L"--timeout") {
            if (!number(1, 86400, options.timeoutSeconds)) return std::nullopt;
        } else if (a == L"--run-type-0") {
            options.settings.runTypeZero = true;
        } else if (a == L"--cases") {
            if (!value(options.settings.casesFolder)) return std::nullopt;
        } else if (a == L"--junit") {
            if (!value(options.junitFile)) return std::nullopt;
        } else if (a == L"--stress") {
            options.settings.stress = true;
        } else if (a == L"--fuzz") {
            if (!number(1, 86400, options.settings.fuzzSeconds)) return std::nullopt;
        } else if (a == L"--profile") {
            options.settings.profile = true;
        } else if (a == L"--seed") {
            if (!number(0, 999999999, n)) return std::nullopt;
            options.settings.seed = static_cast<std::uint64_t>(n);
        } else if (a == L"--save-failures") {
            if (!value(options.settings.saveFailures)) return std::nullopt;
        } else if (a == L"--in-process") {
            options.settings.inProcess = true;
        } else if (a == L"--json") {
            options.json = true;
        } else if (a == L"--strict") {
            options.strict = true;
        } else if (a == L"--help" || a == L"-h" || a == L"/?") {
            options.help = true;
            return options;
        } else if (a == L"--version") {
            options.version = true;
            return options;
        } else if (a.size() > 1 && a[0] == L'-') {
            error = L"Unbekannte Option \u201E" + a + L"\u201C.";
            return std::nullopt;
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
    return options;
}

}  // namespace dllscope
