#pragma once
// A call into code that is not Dllscope's, as its reports name it: what was
// called, of which file, and what the call was doing.
#include <string>

namespace dllscope {

// What a call into foreign code does, for the grammar of its reports.
enum class ForeignCallKind {
    Function,  // an export: "beim Aufruf von PluginRun"
    Method,    // a method of an object, `call` says which: "beim Aufruf der ersten Methode"
    Load,      // LoadLibrary: "beim Laden"
    Free,      // FreeLibrary: "beim Freigeben"
};

// A call into foreign code, as reports and the watchdog name it.
struct ForeignCall {
    const wchar_t* subject;  // "Das Plugin", "Die Bibliothek", "Die Automatisierungsklasse", ...
    std::wstring name;       // which one: a file name or a class identifier
    std::wstring call;       // "PluginRun", "LoadLibrary", "der ersten Methode", ...
    ForeignCallKind kind = ForeignCallKind::Function;
};

// "Das Plugin „x.dll“".
std::wstring Named(const ForeignCall& call);
// What the call was doing: "beim Laden", "beim Aufruf von PluginRun".
std::wstring Action(const ForeignCall& call);

}  // namespace dllscope
