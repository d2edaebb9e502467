#pragma once
// The bridge modbridge.dll, reached through its exports.
#include "plugin/win32/bindings.h"
#include "plugin/bridge.h"
#include "plugin/stack_note.h"

#include <string>

namespace dllscope {

class Win32Bridge : public Bridge, public TextExports {
  public:
    // `library` is the bridge as LoadLibraryA takes it: by default its bare
    // name, which the system's search order finds beside the program.
    explicit Win32Bridge(Bindings& bindings, std::wstring library = kBridgeFileName)
        : bindings_(bindings), library_(std::move(library)) {}

    std::int16_t PluginBackvalue(std::wstring& pluginPath) override;
    std::wstring PluginName(std::wstring& pluginPath) override;
    std::wstring PluginDescription(std::wstring& pluginPath) override;
    std::wstring PluginRun(const std::wstring& text, std::wstring& pluginPath) override;
    std::wstring WrapperName() override;
    std::wstring PluginWrappText(const std::wstring& text, std::wstring& pluginPath) override;
    std::wstring PluginWrappForm(const std::wstring& text, std::wstring& pluginPath) override;
    std::string TextCall(const char* exportName, std::string& text,
                         std::wstring& pluginPath) override;
    std::vector<std::wstring> TakeStackWarnings() override { return stackWarnings_.Take(); }

  private:
    std::wstring PathToString(const char* exportName, std::wstring& pluginPath);
    std::wstring TextAndPathToString(const char* exportName, const std::wstring& text,
                                     std::wstring& pluginPath);
    void AskStackNote(const std::wstring& pluginPath);
    Bindings& bindings_;
    std::wstring library_;
    StackWarnings stackWarnings_;
};

}  // namespace dllscope
