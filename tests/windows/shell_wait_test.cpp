// ShellWait under Wine, with a small program that records how it was started.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "launcher/shell_wait.h"
#include "test_support.h"

namespace dllscope::testing {
namespace {

class ShellWaitTest : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteFileW(record.c_str());
        DeleteFileW((record + L".done").c_str());
    }
    std::wstring Probe(int sleepMs) {
        return L"\"" + InTestFolder(L"show_probe.exe") + L"\" \"" + record + L"\" " +
               std::to_wstring(sleepMs);
    }
    std::string Recorded() {
        std::ifstream in(record.c_str());
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool MarkerExists() {
        return GetFileAttributesW((record + L".done").c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    const std::wstring record = InTestFolder(L"probe.txt");
};

TEST_F(ShellWaitTest, StartsShownOrHiddenAndReturnsTrueWhenTheProgramHasEnded) {
    std::wstring shown = Probe(0);
    EXPECT_EQ(ShellWait(shown, -1), -1);
    EXPECT_EQ(Recorded(), "flags=1 show=1\n");
    std::wstring hidden = Probe(0);
    EXPECT_EQ(ShellWait(hidden, 0), -1);
    EXPECT_EQ(Recorded(), "flags=1 show=0\n");
}

TEST_F(ShellWaitTest, WaitsForAProgramThatRunsAWhile) {
    std::wstring cmdline = Probe(1500);
    EXPECT_EQ(ShellWait(cmdline, -1), -1);
    EXPECT_TRUE(MarkerExists());  // its last act happened before the call returned
}

TEST_F(ShellWaitTest, ACommandLineThatNamesNoProgramGivesFalse) {
    std::wstring cmdline = L"C:\\gibt\\es\\nicht.exe /x";
    EXPECT_EQ(ShellWait(cmdline, -1), 0);
    EXPECT_EQ(cmdline, L"C:\\gibt\\es\\nicht.exe /x");
    std::wstring empty;
    EXPECT_EQ(ShellWait(empty, 0), 0);
}

TEST_F(ShellWaitTest, TheCommandLineComesBackAsTheCodePageHoldsIt) {
    std::wstring ascii = Probe(0);
    const std::wstring before = ascii;
    ShellWait(ascii, 0);
    EXPECT_EQ(ascii, before);
    std::wstring foreign = Probe(0) + L" Grüße \u4E2D";
    ShellWait(foreign, 0);
    EXPECT_EQ(foreign, Probe(0) + L" Grüße ?");
}

TEST_F(ShellWaitTest, LeavesNoHandleOpen) {
    DWORD before = 0, after = 0;
    std::wstring first = Probe(0), second = Probe(0);
    ShellWait(first, 0);  // whatever a first start opens for good
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
    ShellWait(first, 0);
    ShellWait(second, -1);
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    EXPECT_EQ(after, before);
}

}  // namespace
}  // namespace dllscope::testing
