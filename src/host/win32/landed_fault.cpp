#include "host/win32/landed_fault.h"

#include "guard/win32/fault_words.h"
#include "guard/win32/guard.h"

namespace dllscope {

bool LandedFault(const std::exception& error, const std::wstring& call, FaultRecord& fault) {
    const auto* f = dynamic_cast<const ForeignFault*>(&error);
    if (!f) return false;
    const Fault& d = f->Details();
    fault = {call,          FaultKindWords(d.code), d.code,
             FaultWhere(d), f->Description(),       FaultPlace(d, f->Stack()),
             f->Stack()};
    return true;
}

}  // namespace dllscope
