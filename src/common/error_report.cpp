#include "common/error_report.h"

#include <new>

#include "common/runtime_error.h"

namespace dllscope {

std::wstring FailureReport(const std::wstring& caption, const std::wstring& handler,
                           const std::wstring& why) {
    return L"Der Befehl \u201E" + caption + L"\u201C (" + handler + L") ist fehlgeschlagen.\n\n" +
           why + L"\n\nDer Befehl wurde an dieser Stelle abgebrochen.";
}

bool RunReportingFailures(const std::wstring& caption, const std::wstring& handler,
                          const std::function<void()>& body,
                          const std::function<void(const std::wstring&)>& report) {
    std::wstring why;
    try {
        body();
        return true;
    } catch (const RuntimeError& e) {
        why = e.Description();
    } catch (const std::bad_alloc&) {
        why = L"Nicht genügend Arbeitsspeicher.";
    } catch (const std::exception& e) {
        std::string what = e.what();
        why = L"Interner Fehler: " + std::wstring(what.begin(), what.end());
    } catch (...) {
        why = L"Unbekannter Fehler.";
    }
    report(FailureReport(caption, handler, why));
    return false;
}

}  // namespace dllscope
