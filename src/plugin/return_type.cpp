#include "plugin/bridge.h"

namespace dllscope {

const wchar_t* ReturnTypeWords(std::int16_t code) {
    switch (code) {
        case 0: return L"Nichts";
        case 1: return L"Text zum/vom Plugin";
        case 2: return L"Dateiname vom Plugin";
        case 3: return L"Dateiname zum Plugin";
        default: return nullptr;
    }
}

}  // namespace dllscope
