#pragma once
// Test cases for a plugin: a folder of pages, each with the output it must
// give beside it; and the inputs authors forget.
#include <string>
#include <vector>

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
// Made once: every plugin of a check gets the same (22 MB of them).
const std::vector<StressInput>& StressInputs();

}  // namespace dllscope
