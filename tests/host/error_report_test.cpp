#include "common/error_report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "common/german_number.h"
#include "common/runtime_error.h"

namespace dllscope {
namespace {

TEST(ErrorReport, NamesTheCommandAndSaysWhyForEveryKindOfError) {
    std::vector<std::wstring> reports;
    const auto report = [&](const std::wstring& text) { reports.push_back(text); };
    const auto lib = L"Die Bibliothek \u201Emodbridge.dll\u201C wurde nicht gefunden.";
    EXPECT_FALSE(RunReportingFailures(
        L"PluginRun", L"Command10_Click", [&] { throw RuntimeError(lib); }, report));
    EXPECT_FALSE(RunReportingFailures(
        L"X", L"Y", [] { throw std::bad_alloc(); }, report));
    EXPECT_FALSE(RunReportingFailures(
        L"X", L"Y",
        [] {
            throw std::runtime_error(
                "Gr\xC3\xB6\xC3\x9F"
                "e");
        },
        report));
    EXPECT_FALSE(RunReportingFailures(
        L"X", L"Y", [] { throw 42; }, report));
    // A length a plugin gave that no string can take is out of memory too.
    EXPECT_FALSE(RunReportingFailures(
        L"X", L"Y", [] { throw std::length_error("basic_string::_M_create"); }, report));
    ASSERT_EQ(reports.size(), 5u);
    EXPECT_NE(reports[4].find(L"Nicht genügend Arbeitsspeicher."), std::wstring::npos);
    // The button's caption, never the handler behind it.
    EXPECT_EQ(reports[0].rfind(L"Der Befehl \u201EPluginRun\u201C ist fehlgeschlagen.\n\n", 0), 0u);
    EXPECT_EQ(reports[0].find(L"Command10_Click"), std::wstring::npos);
    EXPECT_NE(reports[0].find(lib), std::wstring::npos);
    EXPECT_NE(reports[1].find(L"Arbeitsspeicher"), std::wstring::npos);
    EXPECT_NE(reports[2].find(L"Interner Fehler: Größe"), std::wstring::npos);
    EXPECT_NE(reports[3].find(L"Unbekannter Fehler"), std::wstring::npos);
    // A window that could not open says so, in its own words.
    EXPECT_FALSE(RunReportingFailures(
        L"Dllscope", L"Form_Load", [] { throw 1; }, report));
    EXPECT_EQ(reports[5],
              L"Das Öffnen des Fensters \u201EDllscope\u201C ist fehlgeschlagen.\n\n"
              L"Unbekannter Fehler.\n\nDas Fenster wurde an dieser Stelle abgebrochen.");
}

TEST(GermanNumbers, GroupThousandsAndKeepTheSign) {
    EXPECT_EQ(GermanNumber(1234567.25, 2), L"1.234.567,25");
    EXPECT_EQ(GermanNumber(-123, 0), L"-123");
    EXPECT_EQ(GermanNumber(-0.123, 3), L"-0,123");
    EXPECT_EQ(GermanNumber(-123456.5, 1), L"-123.456,5");
    EXPECT_EQ(GermanDecimal(12), L"12");
}

TEST(ErrorReport, AHandlerThatSucceedsReportsNothing) {
    bool ran = false, reported = false;
    EXPECT_TRUE(RunReportingFailures(
        L"X", L"Y", [&] { ran = true; }, [&](const std::wstring&) { reported = true; }));
    EXPECT_TRUE(ran);
    EXPECT_FALSE(reported);
}

}  // namespace
}  // namespace dllscope
