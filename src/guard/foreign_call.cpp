#include "guard/foreign_call.h"

namespace dllscope {

std::wstring Named(const ForeignCall& call) {
    return std::wstring(call.subject) + L" \u201E" + call.name + L"\u201C";
}

std::wstring Action(const ForeignCall& call) {
    switch (call.kind) {
        case ForeignCallKind::Load:
            return L"beim Laden";
        case ForeignCallKind::Free:
            return L"beim Freigeben";
        case ForeignCallKind::Method:
            return L"beim Aufruf " + call.call;
        case ForeignCallKind::Function:
            break;
    }
    return L"beim Aufruf von " + call.call;
}

}  // namespace dllscope
