#include "plugin/win32/bridge.h"

#include "common/win32/ansi.h"

namespace dllscope {
namespace {

using PathToShort = short(WINAPI*)(char* pluginPath);
using PathToBstr = BSTR(WINAPI*)(char* pluginPath);
using TextAndPathToBstr = BSTR(WINAPI*)(char* text, char* pluginPath);
using NothingToBstr = BSTR(WINAPI*)();

}  // namespace

std::int16_t Win32Bridge::PluginBackvalue(std::wstring& pluginPath) {
    const auto fn = bindings_.Get<PathToShort>(kBridgeFileName, "PluginBackvalue");
    AnsiArg path(pluginPath);
    const short code = fn(path.get());
    path.WriteBack(pluginPath);
    return code;
}

std::wstring Win32Bridge::PathToString(const char* exportName, std::wstring& pluginPath) {
    const auto fn = bindings_.Get<PathToBstr>(kBridgeFileName, exportName);
    AnsiArg path(pluginPath);
    std::wstring result = TakeAnsiBstr(fn(path.get()));
    path.WriteBack(pluginPath);
    return result;
}

std::wstring Win32Bridge::TextAndPathToString(const char* exportName, const std::wstring& text,
                                              std::wstring& pluginPath) {
    const auto fn = bindings_.Get<TextAndPathToBstr>(kBridgeFileName, exportName);
    AnsiArg textArg(text);  // a temporary: never written back
    AnsiArg path(pluginPath);
    std::wstring result = TakeAnsiBstr(fn(textArg.get(), path.get()));
    path.WriteBack(pluginPath);
    return result;
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
    return TakeAnsiBstr(bindings_.Get<NothingToBstr>(kBridgeFileName, "WrapperName")());
}

std::wstring Win32Bridge::PluginWrappText(const std::wstring& text, std::wstring& pluginPath) {
    return TextAndPathToString("PluginWrappText", text, pluginPath);
}

std::wstring Win32Bridge::PluginWrappForm(const std::wstring& text, std::wstring& pluginPath) {
    return TextAndPathToString("PluginWrappForm", text, pluginPath);
}

}  // namespace dllscope
