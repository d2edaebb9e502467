// The marks on a plugin's lines in the process that loads it: set on each
// load, each taken back the first time it runs, and the plugin computes
// what it computes without them. Runs in a process of its own: the marks
// are once per process.
#include <windows.h>
#include <oleauto.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/coverage_marks.h"
#include "host/win32/line_marks.h"
#include "sampling/line_coverage.h"

namespace dllscope::testing {
namespace {

using Run = BSTR(WINAPI*)(const char*);

std::string Result(HMODULE module, const char* page) {
    const auto run =
        reinterpret_cast<Run>(reinterpret_cast<void (*)()>(GetProcAddress(module, "TsRun")));
    const BSTR result = run(page);
    std::string bytes(reinterpret_cast<const char*>(result), SysStringByteLen(result));
    SysFreeString(result);
    return bytes;
}

TEST(LineMarks, EachMarkIsTakenBackWhenReachedAndThePluginComputesAsWithout) {
    std::ifstream in("instruction.dll", std::ios::binary);
    const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const CoverageMap map(file, L"instruction.dll");
    const std::vector<std::uint32_t>& rvas = map.Rvas();
    ASSERT_GT(rvas.size(), 10u);
    const auto count = static_cast<std::uint32_t>(rvas.size());
    const std::wstring name =
        L"Local\\dllscope-test-lines-" + std::to_wstring(GetCurrentProcessId());
    const HANDLE section =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                           static_cast<DWORD>(CoverageMarksBytes(count)), name.c_str());
    auto* view = static_cast<unsigned char*>(MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    const CoverageMarksHead head{kCoverageMarksMagic, count, 0, 0};
    std::memcpy(view, &head, sizeof head);
    std::memcpy(view + sizeof head, rvas.data(), count * 4);
    const unsigned char* reached = view + CoverageFlagsOffset(count);

    // The same file under another name: never marked, the bytes as they are.
    ASSERT_TRUE(CopyFileW(L"instruction.dll", L"instruction-ohne.dll", FALSE));
    const HMODULE clean = LoadLibraryW(L"instruction-ohne.dll");
    ASSERT_NE(clean, nullptr);
    EXPECT_EQ(LineMarks::Start(name, L"instruction.dll", L""), 0u);  // not loaded yet
    HMODULE marked = LoadLibraryW(L"instruction.dll");
    ASSERT_NE(marked, nullptr);
    const auto byteAt = [](HMODULE m, std::uint32_t rva) {
        return reinterpret_cast<const volatile unsigned char*>(m)[rva];
    };
    // Each line's first byte is a breakpoint (where it was none before),
    // but for the lines the load ran (the entry point's), which have theirs back.
    const auto marksAsReached = [&] {
        std::uint32_t flagged = 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            flagged += reached[i];
            const bool original = byteAt(marked, rvas[i]) == byteAt(clean, rvas[i]);
            EXPECT_EQ(original, reached[i] != 0 || byteAt(clean, rvas[i]) == 0xCC) << i;
        }
        return flagged;
    };
    const std::uint32_t byTheLoad = marksAsReached();
    EXPECT_LT(byTheLoad, count / 2);

    // What runs is taken back, once: the same page again reaches nothing new.
    const char* const page = "<p>x</p><?tag";
    EXPECT_EQ(Result(marked, page), Result(clean, page));
    const auto counted = [&] {
        return static_cast<std::uint32_t>(
            reinterpret_cast<const volatile LONG*>(view + offsetof(CoverageMarksHead, reached))[0]);
    };
    const std::uint32_t afterOne = counted();
    EXPECT_GT(afterOne, byTheLoad);
    EXPECT_LT(afterOne, count);
    EXPECT_EQ(Result(marked, page), Result(clean, page));
    EXPECT_EQ(counted(), afterOne);
    EXPECT_EQ(marksAsReached(), afterOne);

    // Loaded anew, only what never ran is marked again.
    FreeLibrary(marked);
    marked = LoadLibraryW(L"instruction.dll");
    ASSERT_NE(marked, nullptr);
    EXPECT_EQ(marksAsReached(), afterOne);
    EXPECT_EQ(Result(marked, "<?tagsmit"), Result(clean, "<?tagsmit"));
    EXPECT_GT(marksAsReached(), afterOne);
    FreeLibrary(marked);
    FreeLibrary(clean);
    UnmapViewOfFile(view);
    CloseHandle(section);
}

}  // namespace
}  // namespace dllscope::testing
