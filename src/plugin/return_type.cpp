#include "plugin/bridge.h"

namespace dllscope {

const wchar_t* ReturnTypeWords(std::int16_t code) {
    switch (code) {
        case kNothing:
            return L"Nichts";
        case kTextToFromPlugin:
            return L"Text zum/vom Plugin";
        case kFileNameFromPlugin:
            return L"Dateiname vom Plugin";
        case kFileNameToPlugin:
            return L"Dateiname zum Plugin";
        default:
            return nullptr;
    }
}

}  // namespace dllscope
