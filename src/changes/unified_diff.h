#pragma once
// A mismatch as CI shows it: a unified diff, built on the line diff.
#include <string>

namespace dllscope {

// A unified diff of two UTF-8 texts, three lines of context; empty when
// equal. A changed line break shows as such ("  [LF]", "  [CR]"), a last
// line without one as "\\ Kein Zeilenumbruch am Ende".
std::string UnifiedDiff(const std::string& expected, const std::string& actual,
                        const std::string& expectedName, const std::string& actualName);

}  // namespace dllscope
