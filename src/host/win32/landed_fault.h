#pragma once
// A fault the guard landed, in the parts the host's answer and the
// checker's report carry.
#include <exception>
#include <string>

#include "guard/fault_record.h"

namespace dllscope {

// The report and parts of `error` when it is a fault the guard landed during
// `call` ("PluginRun"); false for any other error.
bool LandedFault(const std::exception& error, const std::wstring& call, FaultRecord& fault);

}  // namespace dllscope
