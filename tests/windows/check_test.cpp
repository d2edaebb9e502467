// The console checker and Form1 say the same about every sample plugin:
// the same return type, name and description.
#include <gtest/gtest.h>

#include "test_support.h"

namespace dllscope::testing {
namespace {

// What dllscope-check prints about one plugin, as UTF-16 lines.
std::vector<std::wstring> CheckerLines(const std::wstring& plugin) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    CreatePipe(&read, &write, &inherit, 0);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = write;
    PROCESS_INFORMATION pi{};
    std::wstring command = L"\"" + InTestFolder(L"dllscope-check.exe") + L"\" " + plugin;
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, TestFolder().c_str(), &si, &pi);
    CloseHandle(write);
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (started && ReadFile(read, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(read);
    if (started) {
        WaitForSingleObject(pi.hProcess, 60000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    std::wstring text(bytes.size(), L'\0');
    text.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                            static_cast<int>(text.size()))));
    std::vector<std::wstring> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find(L'\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The value of the line "  <key>: <value>", or "(fehlt)".
std::wstring Value(const std::vector<std::wstring>& lines, const std::wstring& key) {
    for (const std::wstring& line : lines) {
        if (line.rfind(L"  " + key + L": ", 0) == 0) return line.substr(key.size() + 4);
    }
    return L"(fehlt)";
}

using CheckerAndForm1 = Form1WindowTest;

TEST_F(CheckerAndForm1, SayTheSameAboutEverySamplePlugin) {
    for (const wchar_t* sample :
         {L"htmlcheck.dll", L"entities.dll", L"outline.dll", L"tidyfile.dll"}) {
        SelectInList(sample);
        const std::vector<std::wstring> lines = CheckerLines(sample);
        // "Rückgabetyp: 1 (Text zum/vom Plugin)": Form1 shows the words.
        EXPECT_NE(Value(lines, L"Rückgabetyp").find(L"(" + TextOf(C(L"lblBackvalue")) + L")"),
                  std::wstring::npos)
            << sample;
        EXPECT_EQ(Value(lines, L"Name"), TextOf(C(L"lblName"))) << sample;
        EXPECT_EQ(Value(lines, L"Beschreibung"), TextOf(C(L"lblDescription"))) << sample;
    }
}

}  // namespace
}  // namespace dllscope::testing
