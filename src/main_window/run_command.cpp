#include "main_window/run_command.h"

#include "main_window/selected_plugin.h"

namespace dllscope {
namespace {

// Form1's side of a run: the pane's work text goes in and takes a type-1
// answer; a type-2 file name goes to the program-wide variable and Form2;
// the exchange file is the one lblDateiname shows.
class Form1Exchange : public RunExchange {
  public:
    explicit Form1Exchange(const Form1Services& s) : s_(s) {}
    const std::wstring& Text() override { return text_ = s_.editor.WorkText(); }
    void TextBack(std::wstring text) override { s_.editor.SetWorkText(text); }
    void ResultFileBack(const std::wstring& fileName) override {
        s_.resultFileName = fileName;
        s_.resultViewer.Show();
    }
    std::wstring ExchangeFile() override { return s_.view.Caption(Form1Label::Dateiname); }

  private:
    const Form1Services& s_;
    std::wstring text_;
};

}  // namespace

void RunSelectedPlugin(const Selection& selection) {
    const Form1Services& s = selection.services;
    CycleOnSelectedPlugin(selection, [&](std::wstring& pluginPath) {
        Form1Exchange exchange(s);
        RunInModeOf(s.bridge.PluginBackvalue(pluginPath), s.bridge, pluginPath, exchange);
    });
}

}  // namespace dllscope
