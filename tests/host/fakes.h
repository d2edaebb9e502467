#pragma once
// Recording fakes for the core's interfaces: every call lands in one journal,
// so that a test can check the order of loads, calls, frees and messages.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/runtime_error.h"
#include "editor/editor_pane.h"
#include "main_window/form1.h"
#include "main_window/form1_services.h"
#include "main_window/form1_view.h"
#include "plugin/bridge.h"
#include "main_window/demo_commands.h"
#include "result_viewer/result_viewer.h"

namespace dllscope::testing {

using Journal = std::vector<std::wstring>;

class FakeLibraries : public Libraries {
  public:
    explicit FakeLibraries(Journal& j) : journal_(j) {}
    LibraryHandle Load(const std::wstring& path) override {
        journal_.push_back(L"load " + path);
        if (failing.count(path)) return 0;
        handles_[++next_] = path;
        return next_;
    }
    void Free(LibraryHandle h) override {
        journal_.push_back(L"free " + (h == 0 ? std::wstring(L"0") : handles_.at(h)));
    }
    std::map<std::wstring, bool> failing;

  private:
    Journal& journal_;
    std::map<LibraryHandle, std::wstring> handles_;
    LibraryHandle next_ = 0;
};

// A bridge whose answers a test sets; an export left in `missing` throws as
// the real binding does.
class FakeBridge : public Bridge {
  public:
    explicit FakeBridge(Journal& j) : journal_(j) {}

    std::int16_t backvalue = 1;
    std::wstring name = L"Name", description = L"Beschreibung", runResult, wrapperName;
    std::map<std::string, bool> missing;
    std::function<void(std::wstring&)> rewritePath;  // the bridge writing into the path
    std::wstring stackWarning;  // what every asking after a call gets, as a __cdecl export gives

    std::int16_t PluginBackvalue(std::wstring& path) override {
        Enter("PluginBackvalue", path);
        return backvalue;
    }
    std::wstring PluginName(std::wstring& path) override {
        Enter("PluginName", path);
        return name;
    }
    std::wstring PluginDescription(std::wstring& path) override {
        Enter("PluginDescription", path);
        return description;
    }
    std::wstring PluginRun(const std::wstring& text, std::wstring& path) override {
        Enter("PluginRun", text + L" | " + path);
        if (rewritePath) rewritePath(path);
        return runResult;
    }
    std::wstring WrapperName() override {
        Enter("WrapperName", L"");
        return wrapperName;
    }
    std::wstring PluginWrappText(const std::wstring& text, std::wstring& path) override {
        Enter("PluginWrappText", text + L" | " + path);
        return runResult;
    }
    std::wstring PluginWrappForm(const std::wstring& text, std::wstring& path) override {
        Enter("PluginWrappForm", text + L" | " + path);
        return runResult;
    }
    std::vector<std::wstring> TakeStackWarnings() override {
        if (stackWarning.empty()) return {};
        return {stackWarning};
    }

  private:
    void Enter(const std::string& exportName, const std::wstring& args) {
        const std::wstring wide(exportName.begin(), exportName.end());
        if (missing.count(exportName)) {
            throw RuntimeError(
                L"In der Bibliothek \u201Emodbridge.dll\u201C fehlt der Export \u201E" + wide +
                L"\u201C.");
        }
        journal_.push_back(wide + L" " + args);
    }
    Journal& journal_;
};

class FakeEditor : public EditorPane {
  public:
    explicit FakeEditor(Journal& j) : journal_(j) {}
    std::wstring text, selection;  // an empty selection means: none
    std::wstring Text() override {
        journal_.push_back(L"editor Text");
        return text;
    }
    std::wstring WorkText() override {
        journal_.push_back(L"editor WorkText");
        return selection.empty() ? text : selection;
    }
    void SetWorkText(const std::wstring& t) override {
        journal_.push_back(L"editor SetWorkText " + t);
        (selection.empty() ? text : selection) = t;
    }
    void LoadFile(std::wstring& fileName) override {
        journal_.push_back(L"editor LoadFile " + fileName);
    }
    void RunCommand(std::int32_t command, EditorPane& pane) override {
        journal_.push_back(L"editor RunCommand " + std::to_wstring(command) +
                           (&pane == this ? L" self" : L" other"));
    }
    void SetFocus() override { journal_.push_back(L"editor SetFocus"); }

  private:
    Journal& journal_;
};

class FakeForm1View : public Form1View {
  public:
    explicit FakeForm1View(Journal& j) : journal_(j) {}
    std::map<Form1Label, std::wstring> captions;
    std::wstring selected, listFolder;
    bool ended = false;

    void SetCaption(Form1Label label, const std::wstring& text) override {
        journal_.push_back(L"caption " + LabelName(label) + L" " + text);
        captions[label] = text;
    }
    std::wstring Caption(Form1Label label) override { return captions[label]; }
    void ShowMessage(const std::wstring& text, MessageIcon icon) override {
        journal_.push_back(L"message " + text + (icon == MessageIcon::Exclamation ? L" (!)" : L""));
    }
    void SetFileListFolder(const std::wstring& folder) override {
        journal_.push_back(L"list " + folder);
        listFolder = folder;
    }
    std::wstring SelectedFileName() override { return selected; }
    void EndProgram() override {
        journal_.push_back(L"end");
        ended = true;
    }
    static std::wstring LabelName(Form1Label l) {
        switch (l) {
            case Form1Label::Backvalue:
                return L"lblBackvalue";
            case Form1Label::Name:
                return L"lblName";
            case Form1Label::Description:
                return L"lblDescription";
            case Form1Label::Dateiname:
                return L"lblDateiname";
        }
        return L"?";
    }

  private:
    Journal& journal_;
};

// Form2 as the run command sees it: it records being shown and what the
// result file name held then.
class FakeResultViewer : public ResultViewer {
  public:
    FakeResultViewer(Journal& j, const std::wstring& resultFileName)
        : journal_(j), resultFileName_(resultFileName) {}
    void Show() override { journal_.push_back(L"viewer show " + resultFileName_); }

  private:
    Journal& journal_;
    const std::wstring& resultFileName_;
};

class FakeDemoExports : public DemoExports {
  public:
    explicit FakeDemoExports(Journal& j) : journal_(j) {}
    std::wstring plugrunResult;
    bool failing = false;
    std::wstring plugrun(const std::wstring& text) override {
        Fail(L"plugrun");
        journal_.push_back(L"plugrun " + text);
        return plugrunResult;
    }
    std::int32_t pbpluginElement(const std::wstring& index) override {
        Fail(L"pbplugin");
        journal_.push_back(L"pbplugin [" + index + L"]");
        return 7;
    }

  private:
    void Fail(const std::wstring& what) {
        if (failing) throw RuntimeError(what + L" scheitert");
    }
    Journal& journal_;
};

class FakeAutomation : public AutomationObjects {
  public:
    explicit FakeAutomation(Journal& j) : journal_(j) {}
    std::wstring result;
    bool failing = false;
    std::wstring DemoClassFirstMethod(const std::wstring& text) override {
        if (failing) throw RuntimeError(L"Klasse nicht registriert");
        journal_.push_back(L"automation " + text);
        return result;
    }
    void CreateAndReleaseEditorObject() override { journal_.push_back(L"editor object"); }

  private:
    Journal& journal_;
};

// All of Form1's outside world as recording fakes, sharing one journal.
struct FakeWorld {
    Journal journal;
    FakeLibraries libraries{journal};
    FakeBridge bridge{journal};
    FakeEditor editor{journal};
    FakeForm1View view{journal};
    std::wstring resultFileName;
    FakeResultViewer viewer{journal, resultFileName};
    FakeDemoExports demoExports{journal};
    FakeAutomation automation{journal};

    Form1Services Services(const std::wstring& programFolder) {
        return Services(programFolder, bridge);
    }
    Form1Services Services(const std::wstring& programFolder, Bridge& otherBridge) {
        return Form1Services{programFolder, libraries,      otherBridge, editor,    view,
                             viewer,        resultFileName, demoExports, automation};
    }
};

// Form1 on recording fakes, as the tests' fixtures start from.
class Form1Harness {
  protected:
    explicit Form1Harness(const std::wstring& programFolder)
        : form(world.Services(programFolder)) {}

    FakeWorld world;
    Journal& journal = world.journal;
    FakeLibraries& libraries = world.libraries;
    FakeBridge& bridge = world.bridge;
    FakeEditor& editor = world.editor;
    FakeForm1View& view = world.view;
    Form1 form;
};

}  // namespace dllscope::testing
