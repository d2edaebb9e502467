#include "plugin/win32/bridge.h"

#include "common/paths.h"
#include "common/runtime_error.h"
#include "common/win32/ansi.h"
#include "guard/win32/foreign_result.h"
#include "guard/win32/guard.h"

namespace dllscope {
namespace {

using PathToShort = short(WINAPI*)(char* pluginPath);
using PathToBstr = BSTR(WINAPI*)(char* pluginPath);
using TextAndPathToBstr = BSTR(WINAPI*)(char* text, char* pluginPath);
using NothingToBstr = BSTR(WINAPI*)();

// A call of the bridge about a plugin: reports name the plugin.
ForeignCall AboutPlugin(const std::wstring& pluginPath, const char* exportName) {
    const std::string name(exportName);
    return ForeignCall::Export(L"Das Plugin", FileNameOf(pluginPath),
                               std::wstring(name.begin(), name.end()));
}

// Why a plugin path cannot reach the bridge, or the empty string when it can
// (itself or as its short form).
std::wstring Unpassable(const std::wstring& pluginPath) {
    const std::wstring passable = PassablePath(pluginPath);
    if (PassesAnsi(passable)) return std::wstring();
    return L"Der Pfad \u201E" + pluginPath + L"\u201C enthält \u201E" +
           FirstCharacterBeyondAnsi(pluginPath) +
           L"\u201C, das die ANSI-Codepage dieses Systems nicht darstellen kann, und das Laufwerk "
           L"hat keine "
           L"kurzen 8.3-Namen, die an seine Stelle treten könnten. Plugins erreichen die Brücke "
           L"über "
           L"ANSI-Pfade: benenne die Datei oder den Ordner um.";
}

constexpr std::int16_t kNoPlugin = -1;

}  // namespace

std::int16_t Win32Bridge::PluginBackvalue(std::wstring& pluginPath) {
    const auto fn = bindings_.Get<PathToShort>(library_, "PluginBackvalue");
    if (!Unpassable(pluginPath).empty()) return kNoPlugin;
    AnsiArg path(PassablePath(pluginPath));
    char* const p = path.get();
    short code = 0;
    CallForeign(AboutPlugin(pluginPath, "PluginBackvalue"), [&] { code = fn(p); });
    path.WriteBack(pluginPath);
    AskStackNote(pluginPath);
    return code;
}

std::wstring Win32Bridge::PathToString(const char* exportName, std::wstring& pluginPath) {
    const auto fn = bindings_.Get<PathToBstr>(library_, exportName);
    if (const std::wstring why = Unpassable(pluginPath); !why.empty()) {
        return std::string(exportName) == "PluginName" ? L"(kein Plugin)"
                                                       : why;  // as for any non-plugin
    }
    AnsiArg path(PassablePath(pluginPath));
    char* const p = path.get();
    BSTR result = nullptr;
    const ForeignCall call = AboutPlugin(pluginPath, exportName);
    CallForeign(call, [&] { result = fn(p); });
    std::wstring answer = TakeForeignAnsiBstr(call, result);
    path.WriteBack(pluginPath);
    AskStackNote(pluginPath);
    return answer;
}

std::string Win32Bridge::TextCall(const char* exportName, std::string& text,
                                  std::wstring& pluginPath) {
    const auto fn = bindings_.Get<TextAndPathToBstr>(library_, exportName);
    if (const std::wstring why = Unpassable(pluginPath); !why.empty()) throw RuntimeError(why);
    AnsiArg path(PassablePath(pluginPath));
    char* const t = text.data();  // NUL-terminated; a temporary, never read back
    char* const p = path.get();
    BSTR result = nullptr;
    const ForeignCall call = AboutPlugin(pluginPath, exportName);
    CallForeign(call, [&] { result = fn(t, p); });
    std::string answer = TakeForeignBstrBytes(call, result);
    path.WriteBack(pluginPath);
    AskStackNote(pluginPath);
    return answer;
}

// The text calls in this process, on the bytes the plugin's host gets too.
std::wstring Win32Bridge::TextAndPathToString(const char* exportName, const std::wstring& text,
                                              std::wstring& pluginPath) {
    const ForeignCall call = AboutPlugin(pluginPath, exportName);
    std::string bytes = ToAnsi(text);  // the plugin's own copy: never read back
    return ForeignAnsiText(call, TextCall(exportName, bytes, pluginPath));
}

// The bridge's note on the plugin call just made, where it keeps one
// (WrapperStackNote; another bridge may lack it).
void Win32Bridge::AskStackNote(const std::wstring& pluginPath) {
    const auto fn = bindings_.Find<NothingToBstr>(library_, "WrapperStackNote");
    if (!fn) return;
    BSTR result = nullptr;
    const ForeignCall call =
        ForeignCall::Export(L"Die Brücke", FileNameOf(library_), L"WrapperStackNote");
    CallForeign(call, [&] { result = fn(); });
    stackWarnings_.Add(StackWarning(FileNameOf(pluginPath), TakeForeignAnsiBstr(call, result)));
}

std::wstring Win32Bridge::PluginName(std::wstring& pluginPath) {
    return PathToString("PluginName", pluginPath);
}

std::wstring Win32Bridge::PluginDescription(std::wstring& pluginPath) {
    return PathToString("PluginDescription", pluginPath);
}

std::wstring Win32Bridge::PluginRun(const std::wstring& text, std::wstring& pluginPath) {
    return TextAndPathToString("PluginRun", text, pluginPath);
}

std::wstring Win32Bridge::WrapperName() {
    const auto fn = bindings_.Get<NothingToBstr>(library_, "WrapperName");
    BSTR result = nullptr;
    const ForeignCall call =
        ForeignCall::Export(L"Die Brücke", FileNameOf(library_), L"WrapperName");
    CallForeign(call, [&] { result = fn(); });
    return TakeForeignAnsiBstr(call, result);
}

std::wstring Win32Bridge::PluginWrappText(const std::wstring& text, std::wstring& pluginPath) {
    return TextAndPathToString("PluginWrappText", text, pluginPath);
}

std::wstring Win32Bridge::PluginWrappForm(const std::wstring& text, std::wstring& pluginPath) {
    return TextAndPathToString("PluginWrappForm", text, pluginPath);
}

}  // namespace dllscope
