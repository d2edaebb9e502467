#include "main_window/form1.h"

#include "main_window/program_folder.h"

namespace dllscope {

std::wstring Form1::PluginPath() const {
    return InFolder(s_.programFolder, selectedPluginFileName_);
}

std::wstring Form1::BridgePath() const { return InFolder(s_.programFolder, kBridgeFileName); }

void Form1::Form_Load() {
    s_.view.SetFileListFolder(s_.programFolder);
    s_.view.SetCaption(Form1Label::Dateiname, InFolder(s_.programFolder, L"dateiname.txt"));
}

void Form1::File1_Click() {
    // Everything that goes wrong while a selection is shown ends in the one
    // warning; the captions written so far stay, the libraries stay loaded.
    try {
        selectedPluginFileName_ = s_.view.SelectedFileName();
        if (selectedPluginFileName_.empty()) {
            s_.view.ShowMessage(kNoDllSelected, MessageIcon::None);
            return;
        }
        ShowSelectedPlugin();
    } catch (...) {
        s_.view.ShowMessage(kInvalidDll, MessageIcon::Exclamation);
    }
}

void Form1::ShowSelectedPlugin() {
    std::wstring pluginPath = PluginPath();
    const LibraryHandle bridge = s_.libraries.Load(BridgePath());
    const LibraryHandle plugin = s_.libraries.Load(pluginPath);

    if (const wchar_t* words = ReturnTypeWords(s_.bridge.PluginBackvalue(pluginPath))) {
        s_.view.SetCaption(Form1Label::Backvalue, words);
    }
    s_.view.SetCaption(Form1Label::Name, s_.bridge.PluginName(pluginPath));
    s_.view.SetCaption(Form1Label::Description, s_.bridge.PluginDescription(pluginPath));

    s_.libraries.Free(plugin);
    s_.libraries.Free(bridge);
}

void Form1::Command9_Click() {
    s_.editor.RunCommand(kSelectAllCommand, s_.editor);
    s_.editor.SetFocus();
}

void Form1::Command17_Click() { s_.view.EndProgram(); }

}  // namespace dllscope
