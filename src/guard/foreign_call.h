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

// A call into foreign code, as reports and the watchdog name it. Made by
// what it does, so that no call goes without its kind.
struct ForeignCall {
    ForeignCall() = default;
    ForeignCall(const wchar_t* s, std::wstring n, std::wstring c, ForeignCallKind k)
        : subject(s), name(std::move(n)), call(std::move(c)), kind(k) {}
    // An export, or a function reached another way: "beim Aufruf von PluginRun".
    static ForeignCall Export(const wchar_t* subject, std::wstring name, std::wstring call) {
        return {subject, std::move(name), std::move(call), ForeignCallKind::Function};
    }
    // "beim Aufruf der ersten Methode": `call` says which.
    static ForeignCall Method(const wchar_t* subject, std::wstring name, std::wstring call) {
        return {subject, std::move(name), std::move(call), ForeignCallKind::Method};
    }
    // "beim Laden" (LoadLibrary, or the start of a process).
    static ForeignCall Load(const wchar_t* subject, std::wstring name,
                            std::wstring call = L"LoadLibrary") {
        return {subject, std::move(name), std::move(call), ForeignCallKind::Load};
    }
    // "beim Freigeben".
    static ForeignCall Free(const wchar_t* subject, std::wstring name) {
        return {subject, std::move(name), L"FreeLibrary", ForeignCallKind::Free};
    }

    const wchar_t* subject =
        L"";            // "Das Plugin", "Die Bibliothek", "Die Automatisierungsklasse", ...
    std::wstring name;  // which one: a file name or a class identifier
    std::wstring call;  // "PluginRun", "LoadLibrary", "der ersten Methode", ...
    ForeignCallKind kind = ForeignCallKind::Function;
};

// "Das Plugin „x.dll“".
std::wstring Named(const ForeignCall& call);
// What the call was doing: "beim Laden", "beim Aufruf von PluginRun".
std::wstring Action(const ForeignCall& call);

}  // namespace dllscope
