#pragma once
// Test cases for a plugin: a folder of pages, each with the output it must
// give beside it, and what the checker writes for CI: a unified diff of a
// mismatch, and a JUnit report.
#include <string>
#include <vector>

#include "check/check_report.h"

namespace dllscope {

struct CaseFiles {
    std::wstring name;      // "seite.html"
    std::wstring input;     // the page's path
    std::wstring expected;  // "seite.expected.html" beside it, or empty
};

// The cases among a folder's file names: every NAME.html, .htm or .txt that
// is no NAME.expected.EXT, with its expected file when there is one; by name.
std::vector<CaseFiles> FindCases(const std::wstring& folder, std::vector<std::wstring> names);

// The inputs authors forget, each with the file name it is saved under: the
// empty page, one character, a 10 MB page, LF-only, CR-only and mixed line
// breaks, characters outside the ANSI code page, unbalanced tags and tags
// nested 10,000 deep, one line of 1 MB, a page of entities only.
struct StressInput {
    std::wstring name;
    std::wstring text;
};
std::vector<StressInput> StressInputs();

// A unified diff of two UTF-8 texts, three lines of context; empty when equal.
std::string UnifiedDiff(const std::string& expected, const std::string& actual,
                        const std::string& expectedName, const std::string& actualName);
// The first `lines` lines of a text, and a line saying how many were left out.
std::wstring FirstLines(const std::wstring& text, std::size_t lines);

// A UTF-8 text as XML 1.0 character data or attribute value: escaped, and
// what XML does not allow (C0 controls but tab, LF and CR; U+FFFE, U+FFFF)
// as U+FFFD.
std::string XmlText(const std::string& text);

// The JUnit XML report: a testsuite per plugin, a testcase for the selection,
// one per case and one for the leak check when there were cycles to compare.
std::string JUnitReport(const std::vector<PluginReport>& reports, bool leakCheck);

}  // namespace dllscope
