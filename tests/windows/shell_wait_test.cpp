// ShellWait under Wine, with a small program that records how it was started.
#include <gtest/gtest.h>

#include <fstream>
#include <utility>

#include "launcher/win32/shell_wait.h"
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
    // The first line the probe wrote: how it was started.
    std::string Recorded() {
        std::ifstream in(record.c_str());
        std::string line;
        std::getline(in, line);
        return line;
    }
    // The probe's process and thread ids, from its second line.
    std::pair<DWORD, DWORD> ProbeIds() {
        std::ifstream in(record.c_str());
        std::string line;
        std::getline(in, line);
        DWORD pid = 0, tid = 0;
        in >> pid >> tid;
        return {pid, tid};
    }
    bool MarkerExists() {
        return GetFileAttributesW((record + L".done").c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    const std::wstring record = InTestFolder(L"probe.txt");
};

TEST_F(ShellWaitTest, StartsShownOrHiddenAndReturnsTrueWhenTheProgramHasEnded) {
    std::wstring shown = Probe(0);
    EXPECT_EQ(ShellWait(shown, -1), -1);
    EXPECT_EQ(Recorded(), "flags=1 show=1");
    std::wstring hidden = Probe(0);
    EXPECT_EQ(ShellWait(hidden, 0), -1);
    EXPECT_EQ(Recorded(), "flags=1 show=0");
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

TEST_F(ShellWaitTest, LeavesNoHandleOfTheStartedThreadOpen) {
    // An ended thread that nobody holds a handle to is gone: it can no longer
    // be opened by its id. (Wine keeps an ended process itself for a while,
    // so the process handle is checked by the result: True only when its
    // CloseHandle succeeded.)
    for (const std::int16_t show : {-1, 0}) {
        std::wstring cmdline = Probe(0);
        ASSERT_EQ(ShellWait(cmdline, show), -1);
        const DWORD tid = ProbeIds().second;
        ASSERT_NE(tid, 0u);
        const HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, tid);
        EXPECT_EQ(thread, nullptr) << "a handle of thread " << tid << " is still open";
        if (thread) CloseHandle(thread);
    }
}

}  // namespace
}  // namespace dllscope::testing
