// The call log: the logging libraries and bridge in front of the cycle's.
#include "call_log/call_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes.h"

namespace dllscope::testing {
namespace {

class StillClock : public CallClock {
  public:
    std::wstring Now() override { return L"12:00:00.000"; }
    double Milliseconds() override { return 0; }
    std::wstring Command() override { return L"Command10_Click"; }
    unsigned long Process() override { return 0; }
};

TEST(CallLog, EachCallIsARowInOrderAndAFailingOneIsLoggedAndGoesOn) {
    Journal journal;
    FakeLibraries libraries(journal);
    FakeBridge bridge(journal);
    CallLog log;
    StillClock clock;
    LoggingLibraries loggingLibraries(libraries, log, clock);
    LoggingBridge loggingBridge(bridge, log, clock);
    std::wstring path = L"C:\\p\\a.dll";
    const LibraryHandle h = loggingLibraries.Load(path);
    loggingBridge.PluginBackvalue(path);
    bridge.missing["PluginName"] = true;
    EXPECT_THROW(loggingBridge.PluginName(path), RuntimeError);
    loggingLibraries.Free(h);
    ASSERT_EQ(log.Rows().size(), 4u);
    std::vector<std::wstring> calls;
    for (const CallRow& r : log.Rows()) calls.push_back(r.call);
    EXPECT_THAT(calls, ::testing::ElementsAre(L"LoadLibrary", L"PluginBackvalue", L"PluginName",
                                              L"FreeLibrary"));
    EXPECT_THAT(log.Rows()[2].fault, ::testing::HasSubstr(L"fehlt der Export"));
    EXPECT_EQ(log.Rows()[1].fault, L"");
    EXPECT_EQ(log.Rows()[1].command, L"Command10_Click");
}

TEST(CallLog, KeepsTheNewestTenThousandRows) {
    CallLog log;
    for (int i = 0; i <= 10000; ++i) {
        CallRow row;
        row.call = std::to_wstring(i);
        log.Add(row);
    }
    ASSERT_EQ(log.Rows().size(), 10000u);
    EXPECT_EQ(log.Rows().front().call, L"1");
    EXPECT_EQ(log.Rows().back().call, L"10000");
}

}  // namespace
}  // namespace dllscope::testing
