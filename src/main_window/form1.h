#pragma once
// Form1's handlers: start-up, plugin selection, "Alles markieren", "Beenden",
// and the commands on the selected plugin.
#include <string>

#include "main_window/form1_services.h"

namespace dllscope {

inline constexpr wchar_t kInvalidDll[] = L"Ungültige DLL für Tagsmith!";

class Form1 {
  public:
    explicit Form1(Form1Services services) : s_(std::move(services)) {}

    void Form_Load();
    void File1_Click();
    void Command9_Click();
    void Command17_Click();
    void Command10_Click();
    void Command7_Click();
    void Command14_Click();
    void Command15_Click();
    void Command16_Click();
    // The demo panel.
    void Command1_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command8_Click();
    void Command11_Click();
    void Command12_Click();
    void Command13_Click();

    const std::wstring& SelectedPluginFileName() const { return selectedPluginFileName_; }

    // The folder changed under the window. The selected plugin's file was
    // replaced: its return type, name and description are read again as a
    // selection reads them (false when that failed; no message box).
    bool ReadSelectedAgain();
    // The selected plugin's file is gone: nothing is selected any more.
    void SelectionGone() { selectedPluginFileName_.clear(); }

  private:
    Selection Selected() const { return Selection{s_, selectedPluginFileName_}; }

    Form1Services s_;
    std::wstring selectedPluginFileName_;
};

}  // namespace dllscope
