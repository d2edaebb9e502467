#include "host/win32/landed_fault.h"

#include "plugin/win32/fault_words.h"
#include "plugin/win32/guard.h"

namespace dllscope {

bool LandedFault(const std::exception& error, const std::wstring& call, FaultedAnswer& fault) {
    const auto* f = dynamic_cast<const ForeignFault*>(&error);
    if (!f) return false;
    const Fault& d = f->Details();
    fault.report = f->Description();
    fault.parts = {call, FaultKindWords(d.code), d.code, FaultWhere(d), FaultPlace(d)};
    return true;
}

}  // namespace dllscope
