#include "check/check_session.h"

#include <exception>

#include "common/utf8.h"

namespace dllscope {

void CheckSession::Begin(const std::wstring& version, int bits, const std::wstring& bridgePath) {
    if (options_.json) {
        out_("{\"tool\":\"dllscope-check\",\"version\":\"" + ToUtf8(version) + "\",\"bits\":" +
             std::to_string(bits) + ",\"bridge\":" + JsonString(bridgePath) + ",\"plugins\":[");
    } else {
        out_(ToUtf8(L"dllscope-check " + version + L" (" + std::to_wstring(bits) +
                    L" Bit), Brücke: " + bridgePath + L"\n"));
    }
}

void CheckSession::Check(const std::wstring& file,
                         const std::function<void(PluginReport&)>& check) {
    reports_.emplace_back();
    current_ = &reports_.back();
    current_->file = file;
    current_->warningsFail = options_.strict;
    try {
        check(*current_);
    } catch (const std::exception& e) {
        // Whatever went wrong in checking one plugin ends its check only.
        const std::string what = e.what();
        current_->problems.push_back(L"Die Prüfung dieses Plugins ist abgebrochen: " +
                                     std::wstring(what.begin(), what.end()));
    }
    Emit(*current_);
    current_ = nullptr;
}

int CheckSession::End() {
    finished_ = true;
    const int code = CheckExitCode(reports_);
    Close(code);
    return code;
}

bool CheckSession::EndedByPlugin(const std::wstring& call) {
    if (finished_ || !current_) return false;
    CloseEarly(
        L"Das Plugin hat den Prozess beendet (beim Aufruf von " + call + L"), ohne zurückzukehren.",
        1);
    return true;
}

void CheckSession::Hung(const std::wstring& call, unsigned long long milliseconds) {
    if (!current_ || finished_) return;
    current_->hung = true;
    CloseEarly(L"Der Aufruf von " + call + L" ist nach " + std::to_wstring(milliseconds / 1000) +
                   L" Sekunden nicht zurückgekehrt.",
               3);
}

// The plugin under check ends the whole check: its report with `problem`,
// then the report's end with `code`.
void CheckSession::CloseEarly(const std::wstring& problem, int code) {
    current_->problems.push_back(problem);
    Emit(*current_);
    finished_ = true;
    Close(code);
}

void CheckSession::Emit(const PluginReport& r) {
    if (options_.json) {
        out_((emitted_++ ? "," : "") + PluginJson(r));
    } else {
        out_(ToUtf8(PluginText(r)));
        if (r.output) out_(ToUtf8(L"  Ergebnis:\n" + *r.output + L"\n"));
    }
}

void CheckSession::Close(int code) {
    std::size_t passed = 0;
    for (const PluginReport& r : reports_) passed += r.Passed() ? 1 : 0;
    if (options_.json) {
        out_("],\"passed\":" + std::to_string(passed) +
             ",\"failed\":" + std::to_string(reports_.size() - passed) +
             ",\"exitCode\":" + std::to_string(code) + "}\n");
    } else {
        out_(ToUtf8(L"Ergebnis: " + std::to_wstring(passed) + L" von " +
                    std::to_wstring(reports_.size()) + L" bestanden.\n"));
    }
}

}  // namespace dllscope
