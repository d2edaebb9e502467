#include "common/paths.h"
#include "main_window/program_folder.h"
#include <algorithm>
#include <cwchar>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/twips.h"
#include "main_window/folder_follow.h"
#include "main_window/form1_layout.h"

namespace dllscope {
namespace {

using ::testing::ElementsAre;

TEST(ProgramFolder, IsTheExecutablesFolderWithABackslashOnlyAtADriveRoot) {
    EXPECT_EQ(FolderOf(L"C:\\Tools\\Dllscope\\Dllscope.exe"), L"C:\\Tools\\Dllscope");
    EXPECT_EQ(FolderOf(L"C:\\Dllscope.exe"), L"C:\\");
    EXPECT_EQ(FolderOf(L"\\\\server\\share\\Dllscope.exe"), L"\\\\server\\share");
    EXPECT_EQ(InFolder(L"C:\\Tools", L"a.dll"), L"C:\\Tools\\a.dll");
    EXPECT_EQ(InFolder(L"C:\\", L"a.dll"), L"C:\\a.dll");
}

TEST(PluginLibraryNames, ListsOnlyPlainDllFilesSortedWithoutRegardToCase) {
    std::vector<FolderEntry> entries = {
        {L"zeta.dll"},
        {L"Alpha.DLL"},
        {L"beta.dll"},
        {L"Dllscope.exe"},
        {L"folder.dll", true, false, false},
        {L"hidden.dll", false, true, false},
        {L"system.dll", false, false, true},
        {L"notes.dll.txt"},
        {L"x.dllx"},
        {L".dll"},
        {L"Ärger.dll"},
        {L"apple.dll"},
    };
    EXPECT_THAT(PluginLibraryNames(entries), ElementsAre(L".dll", L"Alpha.DLL", L"apple.dll",
                                                         L"beta.dll", L"zeta.dll", L"Ärger.dll"));
}

TEST(PluginLibraryNames, AnEmptyFolderGivesAnEmptyList) {
    EXPECT_TRUE(PluginLibraryNames({}).empty());
    EXPECT_TRUE(PluginLibraryNames({{L"readme.txt"}}).empty());
}

TEST(Form1Layout, ConvertsTwipsToPixelsWithTheScreensDpi) {
    EXPECT_EQ(TwipsToPixels(2235, 96), 149);
    EXPECT_EQ(TwipsToPixels(12375, 96), 825);
    EXPECT_EQ(TwipsToPixels(7395, 96), 493);
    EXPECT_EQ(TwipsToPixels(60, 120), 5);
    EXPECT_EQ(TwipsToPixels(2235, 144), 224);  // 223.5 rounds up
}

// After a change of the folder the list is the folder's as it is now, and
// the selection stays on its file name (in any case) or ends with the file.
TEST(FolderFollow, TheSelectionStaysOnItsFileNameAndEndsWithTheFile) {
    const std::vector<std::wstring> shown{L"a.dll", L"Mein.dll"};
    ListUpdate u = FollowFolder(shown, L"mein.dll", {L"a.dll", L"b.dll", L"MEIN.dll"});
    EXPECT_TRUE(u.changed);
    EXPECT_EQ(u.select, 2);
    EXPECT_FALSE(u.selectionGone);
    u = FollowFolder(shown, L"Mein.dll", shown);
    EXPECT_FALSE(u.changed);
    EXPECT_EQ(u.select, 1);
    u = FollowFolder(shown, L"Mein.dll", {L"a.dll"});
    EXPECT_EQ(u.select, -1);
    EXPECT_TRUE(u.selectionGone);
    u = FollowFolder(shown, L"", {L"a.dll"});
    EXPECT_EQ(u.select, -1);
    EXPECT_FALSE(u.selectionGone);
    EXPECT_EQ(ReadAgainWords(L"meinplugin.dll", L"14:02:11"),
              L"\u201Emeinplugin.dll\u201C neu eingelesen (14:02:11)");
}

// Reports and the call log name what the author pressed or chose.
TEST(Form1Layout, ACommandIsNamedByTheButtonOrTheListTheAuthorUsed) {
    EXPECT_EQ(Form1CommandWords(L"Command10_Click"), L"PluginRun");
    EXPECT_EQ(Form1CommandWords(L"Command11_Click"), L"ActiveX-DLL");
    EXPECT_EQ(Form1CommandWords(L"File1_Click"), L"Liste der DLLs");
    EXPECT_EQ(Form1CommandWords(L"Form_Load"), L"Form_Load");
}

TEST(Form1Layout, TabOrderIsOnePlaceForEachControlWithTheEditorFirst) {
    std::vector<int> seen(kForm1Controls.size(), 0);
    for (const ControlLayout& c : kForm1Controls) ++seen.at(static_cast<std::size_t>(c.tab));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), static_cast<long>(seen.size()));
    const auto first = std::find_if(kForm1Controls.begin(), kForm1Controls.end(),
                                    [](const ControlLayout& c) { return c.tab == 0; });
    EXPECT_STREQ(first->name, L"CodeMax1");
}

TEST(Form1Layout, FrameLiesInsideTheEditorAndItsControlsInsideTheFrame) {
    const auto find = [](const wchar_t* name) {
        return *std::find_if(
            kForm1Controls.begin(), kForm1Controls.end(),
            [&](const ControlLayout& c) { return std::wcscmp(c.name, name) == 0; });
    };
    const ControlLayout editor = find(L"CodeMax1"), frame = find(L"Frame1");
    EXPECT_GE(frame.left, editor.left);
    EXPECT_LE(frame.left + frame.width, editor.left + editor.width);
    EXPECT_LE(frame.top + frame.height, editor.top + editor.height);
    for (const ControlLayout& c : kForm1Controls) {
        if (!c.inFrame) continue;
        EXPECT_LE(c.left + c.width, frame.width) << c.name;
        EXPECT_LE(c.top + c.height, frame.height) << c.name;
    }
}

}  // namespace
}  // namespace dllscope
