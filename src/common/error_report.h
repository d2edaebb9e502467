#pragma once
// The report of an error that a command handler let escape.
#include <exception>
#include <functional>
#include <string>

namespace dllscope {

// What an error says, by one rule for the whole program: out of memory (a
// size no allocation can take too: a length a plugin gave) is said as such,
// the program's own errors carry their words, anything else is an internal
// error with its text (read as UTF-8 where it is). `where` follows the
// first words: L" im Plugin-Prozess".
std::wstring ErrorWords(const std::exception& error, const std::wstring& where = L"");

// The text of the report: which command failed, and why.
std::wstring FailureReport(const std::wstring& caption, const std::wstring& handler,
                           const std::wstring& why);

// Runs a handler. Whatever error escapes it is turned into a report text and
// handed to `report`; the program then goes on. Returns false when it failed.
bool RunReportingFailures(const std::wstring& caption, const std::wstring& handler,
                          const std::function<void()>& body,
                          const std::function<void(const std::wstring&)>& report);

}  // namespace dllscope
