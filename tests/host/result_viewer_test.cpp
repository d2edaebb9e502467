#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fakes.h"
#include "result_viewer/result_viewer.h"

namespace dllscope::testing {
namespace {

using ::testing::ElementsAre;

struct RecordingCaption : Form2::Caption {
    explicit RecordingCaption(Journal& j) : journal(j) {}
    void Set(const std::wstring& text) override { journal.push_back(L"caption " + text); }
    Journal& journal;
};

// A pane whose LoadFile changes the name it was handed.
struct RenamingPane : FakeEditor {
    using FakeEditor::FakeEditor;
    void LoadFile(std::wstring& fileName) override {
        FakeEditor::LoadFile(fileName);
        fileName += L".bak";
    }
};

TEST(Form2Loading, LoadsTheFileByReferenceThenTakesTheNameAsItIsAfterwards) {
    Journal journal;
    RenamingPane pane(journal);
    RecordingCaption caption(journal);
    std::wstring resultFileName = L"out\\outline.txt";  // relative stays relative
    Form2 form2(pane, caption, resultFileName);
    form2.Form_Load();
    EXPECT_THAT(journal, ElementsAre(L"editor LoadFile out\\outline.txt",
                                     L"caption out\\outline.txt.bak"));
    EXPECT_EQ(resultFileName, L"out\\outline.txt.bak");  // the variable itself was passed
}

TEST(Form2Loading, AnEmptyNameIsPassedOnAndBecomesAnEmptyCaption) {
    Journal journal;
    FakeEditor pane(journal);
    RecordingCaption caption(journal);
    std::wstring resultFileName;
    Form2(pane, caption, resultFileName).Form_Load();
    EXPECT_THAT(journal, ElementsAre(L"editor LoadFile ", L"caption "));
}

}  // namespace
}  // namespace dllscope::testing
