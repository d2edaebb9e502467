#include "call_log/call_log.h"

#include <cstdio>
#include <exception>

#include "common/error_report.h"
#include "common/paths.h"
#include "common/runtime_error.h"

namespace dllscope {
namespace {

std::wstring Hex(unsigned long long value) {
    wchar_t text[24];
    std::swprintf(text, 24, L"0x%llX", value);
    return text;
}

// Runs `call` and logs it as `row`, with its result in words; what it throws
// is logged and goes on.
template <class Call, class Words>
auto Logged(CallLog& log, CallClock& clock, CallRow row, Call&& call, Words&& words) {
    row.time = clock.Now();
    row.command = clock.Command();
    const double start = clock.Milliseconds();
    try {
        auto result = call();
        row.milliseconds = clock.Milliseconds() - start;
        row.result = words(result);
        row.process = clock.Process();
        log.Add(std::move(row));
        return result;
    } catch (const std::exception& e) {
        row.milliseconds = clock.Milliseconds() - start;
        row.fault = ErrorWords(e);
        row.process = clock.Process();
        log.Add(std::move(row));
        throw;
    }
}

CallRow Row(std::wstring library, std::wstring call, std::wstring arguments) {
    CallRow row;
    row.library = std::move(library);
    row.call = std::move(call);
    row.arguments = std::move(arguments);
    return row;
}

std::wstring TextAndPath(const std::wstring& text, const std::wstring& path) {
    return ShortText(text) + L"; " + path;
}

}  // namespace

const wchar_t* const kCallColumns[9] = {L"Zeit",       L"Befehl",    L"Bibliothek",
                                        L"Aufruf",     L"Argumente", L"Ergebnis",
                                        L"Dauer (ms)", L"Fehler",    L"Prozess"};

void CallLog::Add(CallRow row) {
    rows_.push_back(std::move(row));
    while (rows_.size() > kMaxRows) rows_.pop_front();
    if (listener_) listener_();
}

std::wstring ShortText(const std::wstring& text) {
    constexpr std::size_t kShown = 40;
    std::wstring shown = text.substr(0, kShown);
    for (wchar_t& c : shown)
        if (c == L'\r' || c == L'\n' || c == L'\t') c = L' ';
    return std::to_wstring(text.size()) + L" Zeichen: \u201E" + shown +
           (text.size() > kShown ? L"…" : L"") + L"\u201C";
}

std::wstring RowsAsText(const std::deque<CallRow>& rows, const std::vector<std::size_t>& which) {
    std::wstring text;
    const auto field = [&text](std::wstring value, bool last) {
        for (wchar_t& c : value)
            if (c == L'\t' || c == L'\r' || c == L'\n') c = L' ';
        text += value;
        text += last ? L"\r\n" : L"\t";
    };
    for (const std::size_t i : which) {
        if (i >= rows.size()) continue;
        const CallRow& r = rows[i];
        wchar_t ms[32];
        std::swprintf(ms, 32, L"%.1f", r.milliseconds);
        field(r.time, false);
        field(r.command, false);
        field(r.library, false);
        field(r.call, false);
        field(r.arguments, false);
        field(r.result, false);
        field(ms, false);
        field(r.fault, false);
        field(r.process ? std::to_wstring(r.process) : std::wstring(), true);
    }
    return text;
}

LibraryHandle LoggingLibraries::Load(const std::wstring& path) {
    const LibraryHandle handle = Logged(
        log_, clock_, Row(FileNameOf(path), L"LoadLibrary", path),
        [&] { return inner_.Load(path); },
        [](LibraryHandle h) { return h ? L"Handle " + Hex(h) : std::wstring(L"nicht geladen"); });
    if (handle) names_[handle] = FileNameOf(path);
    return handle;
}

void LoggingLibraries::Free(LibraryHandle handle) {
    const auto name = names_.find(handle);
    const std::wstring library = name != names_.end() ? name->second : std::wstring();
    if (name != names_.end()) names_.erase(name);
    Logged(
        log_, clock_, Row(library, L"FreeLibrary", L"Handle " + Hex(handle)),
        [&] {
            inner_.Free(handle);
            return 0;
        },
        [](int) { return std::wstring(); });
}

std::int16_t LoggingBridge::PluginBackvalue(std::wstring& pluginPath) {
    return Logged(
        log_, clock_, Row(FileNameOf(pluginPath), L"PluginBackvalue", pluginPath),
        [&] { return inner_.PluginBackvalue(pluginPath); },
        [](std::int16_t code) { return std::to_wstring(code); });
}

std::wstring LoggingBridge::PluginName(std::wstring& pluginPath) {
    return Logged(
        log_, clock_, Row(FileNameOf(pluginPath), L"PluginName", pluginPath),
        [&] { return inner_.PluginName(pluginPath); },
        [](const std::wstring& r) { return ShortText(r); });
}

std::wstring LoggingBridge::PluginDescription(std::wstring& pluginPath) {
    return Logged(
        log_, clock_, Row(FileNameOf(pluginPath), L"PluginDescription", pluginPath),
        [&] { return inner_.PluginDescription(pluginPath); },
        [](const std::wstring& r) { return ShortText(r); });
}

std::wstring LoggingBridge::PluginRun(const std::wstring& text, std::wstring& pluginPath) {
    return Logged(
        log_, clock_, Row(FileNameOf(pluginPath), L"PluginRun", TextAndPath(text, pluginPath)),
        [&] { return inner_.PluginRun(text, pluginPath); },
        [](const std::wstring& r) { return ShortText(r); });
}

std::wstring LoggingBridge::WrapperName() {
    return Logged(
        log_, clock_, Row(std::wstring(kBridgeFileName), L"WrapperName", {}),
        [&] { return inner_.WrapperName(); }, [](const std::wstring& r) { return ShortText(r); });
}

std::wstring LoggingBridge::PluginWrappText(const std::wstring& text, std::wstring& pluginPath) {
    return Logged(
        log_, clock_,
        Row(FileNameOf(pluginPath), L"PluginWrappText", TextAndPath(text, pluginPath)),
        [&] { return inner_.PluginWrappText(text, pluginPath); },
        [](const std::wstring& r) { return ShortText(r); });
}

std::wstring LoggingBridge::PluginWrappForm(const std::wstring& text, std::wstring& pluginPath) {
    return Logged(
        log_, clock_,
        Row(FileNameOf(pluginPath), L"PluginWrappForm", TextAndPath(text, pluginPath)),
        [&] { return inner_.PluginWrappForm(text, pluginPath); },
        [](const std::wstring& r) { return ShortText(r); });
}

}  // namespace dllscope
