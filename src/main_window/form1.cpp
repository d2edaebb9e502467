#include "main_window/form1.h"

#include "common/paths.h"
#include "main_window/selected_plugin.h"
#include "main_window/demo_commands.h"
#include "main_window/query_commands.h"
#include "main_window/run_command.h"

namespace dllscope {
namespace {

// A selected plugin's answers, each in its label as it comes; a code
// without meaning leaves the return-type label as it was.
class Captions : public PluginAnswers {
  public:
    explicit Captions(Form1View& view) : view_(view) {}
    void ReturnType(std::int16_t code) override {
        if (const wchar_t* words = ReturnTypeWords(code))
            view_.SetCaption(Form1Label::Backvalue, words);
    }
    void Name(const std::wstring& name) override { view_.SetCaption(Form1Label::Name, name); }
    void Description(const std::wstring& description) override {
        view_.SetCaption(Form1Label::Description, description);
    }

  private:
    Form1View& view_;
};

}  // namespace

std::wstring Selection::PluginPath() const { return InFolder(services.programFolder, fileName); }

std::wstring Selection::BridgePath() const {
    return InFolder(services.programFolder, kBridgeFileName);
}

void Form1::Form_Load() {
    s_.view.SetFileListFolder(s_.programFolder);
    s_.view.SetCaption(Form1Label::Dateiname, InFolder(s_.programFolder, L"dateiname.txt"));
}

void Form1::File1_Click() {
    // Everything that goes wrong while a selection is shown ends in the one
    // warning; the captions written so far stay, the libraries stay loaded.
    selectedPluginFileName_ = s_.view.SelectedFileName();
    if (!ReadSelectedAgain()) s_.view.ShowMessage(kInvalidDll, MessageIcon::Exclamation);
}

bool Form1::ReadSelectedAgain() {
    try {
        CycleOnSelectedPlugin(Selected(), [this](std::wstring& pluginPath) {
            Captions captions(s_.view);
            AskWhatThePluginReports(s_.bridge, pluginPath, captions);
        });
        return true;
    } catch (...) {
        return false;
    }
}

void Form1::Command9_Click() {
    s_.editor.RunCommand(kSelectAllCommand, s_.editor);
    s_.editor.SetFocus();
}

void Form1::Command17_Click() { s_.view.EndProgram(); }

void Form1::Command10_Click() { RunSelectedPlugin(Selected()); }
void Form1::Command7_Click() { AskPluginName(Selected()); }
void Form1::Command14_Click() { AskPluginDescription(Selected()); }
void Form1::Command15_Click() { AskPluginBackvalue(Selected()); }
void Form1::Command16_Click() { LoadAndFreeOnly(Selected()); }

void Form1::Command1_Click() { ShowDemoTextPath(s_); }
void Form1::Command3_Click() {}  // "Delphi-DLL Text direkt": no action
void Form1::Command4_Click() { WrapTextDemo(s_); }
void Form1::Command5_Click() { WrapFormDemo(s_); }
void Form1::Command6_Click() {}  // "Delphi-DLL Form direkt": no action
void Form1::Command8_Click() { CreateEditorObject(s_); }
void Form1::Command11_Click() { RunAutomationDemo(s_); }
void Form1::Command12_Click() { RunPlugrun(s_); }
void Form1::Command13_Click() { RunPbplugin(s_); }

}  // namespace dllscope
