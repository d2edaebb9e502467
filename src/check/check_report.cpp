#include "check/check_report.h"

#include <cstdio>

#include "common/utf8.h"
#include "plugin/bridge.h"

namespace dllscope {
namespace {

std::string Hex(unsigned long code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", code);
    return text;
}

std::wstring WideHex(unsigned long code) {
    const std::string h = Hex(code);
    return std::wstring(h.begin(), h.end());
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::wstring Verdict(const PluginReport& r) {
    if (r.hung) return L"hängt";
    return r.Passed() ? L"bestanden" : L"nicht bestanden";
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
        const CheckFault& f = r.faults[i];
        j += (i ? "," : "") + std::string("{\"call\":") + JsonString(f.call) +
             ",\"kind\":" + JsonString(f.kind) + ",\"code\":\"" + Hex(f.code) +
             "\",\"where\":" + JsonString(f.where) + ",\"message\":" + JsonString(f.message) + "}";
    }
    j += "],\"leaks\":[";
    for (std::size_t i = 0; i < r.leaks.size(); ++i) {
        const CheckLeak& l = r.leaks[i];
        j += (i ? "," : "") + std::string("{\"what\":") + JsonString(l.what) +
             ",\"growth\":" + std::to_string(l.growth) +
             ",\"allowance\":" + std::to_string(l.allowance) + "}";
    }
    j += "],\"problems\":[";
    for (std::size_t i = 0; i < r.problems.size(); ++i)
        j += (i ? "," : "") + JsonString(r.problems[i]);
    j += "]";
    if (r.output) j += ",\"output\":" + JsonString(*r.output);
    const char* verdict = r.hung ? "hang" : r.Passed() ? "passed" : "failed";
    return j + ",\"verdict\":\"" + verdict + "\"}";
}

std::wstring PluginText(const PluginReport& r) {
    std::wstring t = r.file + (r.bits ? L": " + std::to_wstring(r.bits) + L"-Bit-DLL\n" : L"\n");
    if (!r.diagnosis.empty()) t += L"  kein Plugin: " + r.diagnosis + L"\n";
    if (r.code) {
        const wchar_t* words = ReturnTypeWords(static_cast<std::int16_t>(*r.code));
        t += L"  Rückgabetyp: " + std::to_wstring(*r.code) +
             (words ? L" (" + std::wstring(words) + L")" : L"") + L"\n";
        t += L"  Name: " + r.name + L"\n  Beschreibung: " + r.description + L"\n";
    }
    for (std::size_t i = 0; i < r.runs.size(); ++i) {
        const CheckRun& run = r.runs[i];
        t += L"  Lauf " + std::to_wstring(i + 1) + L": " + std::to_wstring(run.charactersIn) +
             L" Zeichen hinein, " + std::to_wstring(run.charactersOut) + L" heraus, " +
             std::to_wstring(static_cast<long long>(run.milliseconds)) + L" ms\n";
    }
    for (const CheckFault& f : r.faults)
        t += L"  Absturz (" + WideHex(f.code) + L"): " + f.message + L"\n";
    for (const CheckLeak& l : r.leaks) {
        t += L"  Leck: " + l.what + L" wachsen um " + std::to_wstring(l.growth) + L" (erlaubt: " +
             std::to_wstring(l.allowance) + L")\n";
    }
    for (const std::wstring& p : r.problems) t += L"  " + p + L"\n";
    return t + L"  => " + Verdict(r) + L"\n";
}

int CheckExitCode(const std::vector<PluginReport>& reports) {
    int code = 0;
    for (const PluginReport& r : reports) {
        if (r.hung) return 3;
        if (!r.Passed()) code = 1;
    }
    return code;
}

}  // namespace dllscope
