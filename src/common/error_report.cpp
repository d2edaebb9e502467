#include "common/error_report.h"

#include <new>
#include <stdexcept>

#include "common/runtime_error.h"
#include "common/text_decoding.h"

namespace dllscope {

std::wstring ErrorWords(const std::exception& error, const std::wstring& where) {
    if (const auto* own = dynamic_cast<const RuntimeError*>(&error)) return own->Description();
    if (dynamic_cast<const std::bad_alloc*>(&error) ||
        dynamic_cast<const std::length_error*>(&error))
        return L"Nicht genügend Arbeitsspeicher" + where + L".";
    const std::string what = error.what();
    return L"Interner Fehler" + where + L": " +
           DecodeFileText(what, [](const char* data, std::size_t size) {
               std::wstring latin1(size, L'\0');
               for (std::size_t i = 0; i < size; ++i)
                   latin1[i] = static_cast<unsigned char>(data[i]);
               return latin1;
           });
}

std::wstring FailureReport(const std::wstring& caption, const std::wstring& handler,
                           const std::wstring& why) {
    // The author knows the button they pressed, not the handler behind it.
    const bool opening = handler == L"Form_Load";
    return (opening ? L"Das Öffnen des Fensters \u201E" : L"Der Befehl \u201E") + caption +
           L"\u201C ist fehlgeschlagen.\n\n" + why + L"\n\n" +
           (opening ? L"Das Fenster" : L"Der Befehl") + L" wurde an dieser Stelle abgebrochen.";
}

bool RunReportingFailures(const std::wstring& caption, const std::wstring& handler,
                          const std::function<void()>& body,
                          const std::function<void(const std::wstring&)>& report) {
    std::wstring why;
    try {
        body();
        return true;
    } catch (const std::exception& e) {
        why = ErrorWords(e);
    } catch (...) {
        why = L"Unbekannter Fehler.";
    }
    report(FailureReport(caption, handler, why));
    return false;
}

}  // namespace dllscope
