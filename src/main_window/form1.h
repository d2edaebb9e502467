#pragma once
// Form1's handlers: start-up, plugin selection, "Alles markieren", "Beenden".
#include <string>

#include "editor/editor_pane.h"
#include "main_window/form1_view.h"
#include "plugin/bridge.h"

namespace dllscope {

inline constexpr wchar_t kNoDllSelected[] = L"Keine DLL ausgewählt!";
inline constexpr wchar_t kInvalidDll[] = L"Ungültige DLL für Tagsmith!";

struct Form1Services {
    std::wstring programFolder;
    Libraries& libraries;
    Bridge& bridge;
    EditorPane& editor;  // CodeMax1
    Form1View& view;
};

class Form1 {
public:
    explicit Form1(Form1Services services) : s_(std::move(services)) {}

    void Form_Load();
    void File1_Click();
    void Command9_Click();
    void Command17_Click();

    const std::wstring& SelectedPluginFileName() const { return selectedPluginFileName_; }
    std::wstring PluginPath() const;
    std::wstring BridgePath() const;

private:
    void ShowSelectedPlugin();

    Form1Services s_;
    std::wstring selectedPluginFileName_;
};

}  // namespace dllscope
