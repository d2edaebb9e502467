#include "checker/win32/check_setup.h"

#include <windows.h>

#include "check/check_cases.h"
#include "check/win32/check_system.h"
#include "common/win32/files.h"

namespace dllscope {

std::wstring SetupProblem(const CheckOptions& options, const std::wstring& bridge) {
    std::string bytes;
    if (ReadWholeFile(bridge, bytes) != ERROR_SUCCESS)
        return L"Die Brücke \u201E" + bridge +
               L"\u201C gibt es nicht oder sie kann nicht gelesen werden.";
    for (const std::wstring& plugin : options.plugins) {
        if (GetFileAttributesW(plugin.c_str()) == INVALID_FILE_ATTRIBUTES)
            return L"Das Plugin \u201E" + plugin + L"\u201C gibt es nicht.";
    }
    if (!options.settings.inputFile.empty() &&
        ReadWholeFile(options.settings.inputFile, bytes) != ERROR_SUCCESS)
        return L"Die Eingabedatei \u201E" + options.settings.inputFile +
               L"\u201C kann nicht gelesen werden.";
    if (!options.settings.expectOutput.empty() &&
        ReadWholeFile(options.settings.expectOutput, bytes) != ERROR_SUCCESS)
        return L"Die erwartete Ausgabe \u201E" + options.settings.expectOutput +
               L"\u201C kann nicht gelesen werden.";
    // A check that tests nothing must not pass: a mistyped folder fails the job.
    if (!options.settings.casesFolder.empty()) {
        const DWORD folder = GetFileAttributesW(options.settings.casesFolder.c_str());
        if (folder == INVALID_FILE_ATTRIBUTES || !(folder & FILE_ATTRIBUTE_DIRECTORY))
            return L"Den Ordner der Fälle \u201E" + options.settings.casesFolder +
                   L"\u201C gibt es nicht.";
        Win32CheckSystem files([] { return 0UL; });
        if (FindCases(options.settings.casesFolder, files.FileNames(options.settings.casesFolder))
                .empty())
            return L"Im Ordner der Fälle \u201E" + options.settings.casesFolder +
                   L"\u201C liegt kein Fall (eine Seite NAME.html, .htm oder .txt).";
    }
    // The corpus grows from its first run on: a folder not yet there is made.
    const std::wstring& corpus = options.settings.corpusFolder;
    if (!corpus.empty() && !CreateDirectoryW(corpus.c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS)
        return L"Den Ordner des Korpus \u201E" + corpus +
               L"\u201C gibt es nicht, und er kann "
               L"nicht angelegt werden.";
    return std::wstring();
}

}  // namespace dllscope
