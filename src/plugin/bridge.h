#pragma once
// What the commands see of the libraries and of the bridge modbridge.dll.
// The Win32 implementations sit behind these interfaces; the tests put
// recording fakes in their place.
#include <cstdint>
#include <string>
#include <vector>

namespace dllscope {

// A library handle as LoadLibraryA returns it; zero when the load failed.
using LibraryHandle = std::uintptr_t;

class Libraries {
  public:
    virtual ~Libraries() = default;
    // Loads by path. A failed load is no error: it gives the zero handle.
    virtual LibraryHandle Load(const std::wstring& path) = 0;
    // Frees a handle; the zero handle is passed on unchanged.
    virtual void Free(LibraryHandle handle) = 0;
};

// The exports of the bridge. The plugin path goes by reference: whatever the
// bridge writes into its copy comes back into the caller's variable.
// Every call may throw RuntimeError (bridge or export not found).
class Bridge {
  public:
    virtual ~Bridge() = default;
    virtual std::int16_t PluginBackvalue(std::wstring& pluginPath) = 0;
    virtual std::wstring PluginName(std::wstring& pluginPath) = 0;
    virtual std::wstring PluginDescription(std::wstring& pluginPath) = 0;
    virtual std::wstring PluginRun(const std::wstring& text, std::wstring& pluginPath) = 0;
    virtual std::wstring WrapperName() = 0;
    virtual std::wstring PluginWrappText(const std::wstring& text, std::wstring& pluginPath) = 0;
    virtual std::wstring PluginWrappForm(const std::wstring& text, std::wstring& pluginPath) = 0;
    // What the bridge noticed since the last asking about the stack of the
    // plugin exports it called, in words, each once (stack_note.h): a
    // __cdecl export on 32 bits. The bridge restored the stack; asking clears it.
    virtual std::vector<std::wstring> TakeStackWarnings() = 0;
};

// The text exports as the plugin sees them: the text and the result are the
// bytes of the ANSI code page. The plugin's host passes them on as they
// are; its caller converts them as the bridge in its own process does.
class TextExports {
  public:
    virtual ~TextExports() = default;
    // `exportName`: "PluginRun", "PluginWrappText" or "PluginWrappForm";
    // `text` is the plugin's own copy, which it may write into.
    virtual std::string TextCall(const char* exportName, std::string& text,
                                 std::wstring& pluginPath) = 0;
};

// The bridge's file name, as it is looked up and loaded.
inline constexpr wchar_t kBridgeFileName[] = L"modbridge.dll";

// The return-type codes: what a plugin exchanges with its caller, and so
// how the run command runs it.
enum ReturnType : std::int16_t {
    kNothing = 0,             // "Nichts": text to the plugin, nothing back
    kTextToFromPlugin = 1,    // "Text zum/vom Plugin": text back in its place
    kFileNameFromPlugin = 2,  // "Dateiname vom Plugin": a file name back, shown in Form2
    kFileNameToPlugin = 3,    // "Dateiname zum Plugin": the exchange file to the plugin
};

// The return-type code in words, or nullptr for a code without meaning.
const wchar_t* ReturnTypeWords(std::int16_t code);

}  // namespace dllscope
