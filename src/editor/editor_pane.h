#pragma once
// The editor pane of a window (CodeMax1): the operations the commands use.
#include <cstdint>
#include <string>

namespace dllscope {

class EditorPane {
  public:
    virtual ~EditorPane() = default;
    // The whole text of the pane.
    virtual std::wstring Text() = 0;
    // The selection when there is one, otherwise the whole text.
    virtual std::wstring WorkText() = 0;
    // Replaces exactly what WorkText returns; a read right after returns `text`.
    virtual void SetWorkText(const std::wstring& text) = 0;
    // Shows the named file; a file that cannot be read leaves the pane empty
    // and says so in a message box.
    virtual void LoadFile(std::wstring& fileName) = 0;
    // Command 137 selects the whole text; other numbers do nothing.
    virtual void RunCommand(std::int32_t command, EditorPane& pane) = 0;
    virtual void SetFocus() = 0;
};

inline constexpr std::int32_t kSelectAllCommand = 137;

}  // namespace dllscope
