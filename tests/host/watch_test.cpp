// What --watch follows and when a burst of changes has settled into one.
#include "checker/watch.h"

#include <map>

#include <gtest/gtest.h>

namespace dllscope {
namespace {

TEST(Watch, FollowsThePluginsTheCasesTheInputAndTheExpectedOutputEachOnce) {
    CheckOptions o;
    o.plugins = {L"a.dll", L"B.dll", L"b.DLL"};
    o.settings.casesFolder = L"faelle";
    o.settings.expectOutput = L"soll.html";
    EXPECT_EQ(WatchedPaths(o),
              (std::vector<std::wstring>{L"a.dll", L"B.dll", L"faelle", L"soll.html"}));
}

// A file rewritten, removed or made again is a change once; one left alone is none.
TEST(Watch, AChangedStampIsReportedOnceInTheOrderGiven) {
    std::map<std::wstring, FileStamp> disk{{L"a.dll", {true, 100, 1}}, {L"b.dll", {true, 200, 1}}};
    const auto look = [&disk](const std::wstring& p) { return disk[p]; };
    WatchedFiles files({L"a.dll", L"b.dll"}, look);
    EXPECT_TRUE(files.Changed(look).empty());
    disk[L"b.dll"].written = 2;
    disk[L"a.dll"].size = 101;
    EXPECT_EQ(files.Changed(look), (std::vector<std::wstring>{L"a.dll", L"b.dll"}));
    EXPECT_TRUE(files.Changed(look).empty());
    disk[L"a.dll"] = FileStamp{};  // removed
    EXPECT_EQ(files.Changed(look), (std::vector<std::wstring>{L"a.dll"}));
    disk[L"a.dll"] = {true, 101, 2};
    EXPECT_EQ(files.Changed(look), (std::vector<std::wstring>{L"a.dll"}));
}

// Each change restarts the quiet time: a burst is due once, after its last change.
TEST(Watch, ABurstOfChangesIsDueOnceAfterItsLastChange) {
    Debounce d(400);
    EXPECT_EQ(d.Wait(0), -1);
    EXPECT_FALSE(d.Due(1000));
    d.Changed(1000);
    d.Changed(1300);
    EXPECT_FALSE(d.Due(1600));
    EXPECT_EQ(d.Wait(1600), 100);
    EXPECT_TRUE(d.Due(1700));
    EXPECT_EQ(d.Wait(1800), 0);
    d.Taken();
    EXPECT_FALSE(d.Due(5000));
    EXPECT_EQ(d.Wait(5000), -1);
}

TEST(Watch, TheLineBeforeARunNamesTheTimeAndTheFilesChanged) {
    EXPECT_EQ(ChangeLine(L"14:02:11", {L"C:\\p\\meinplugin.dll"}),
              L"14:02:11: meinplugin.dll geändert");
    EXPECT_EQ(ChangeLine(L"14:02:11", {L"a.dll", L"faelle"}), L"14:02:11: a.dll, faelle geändert");
}

}  // namespace
}  // namespace dllscope
