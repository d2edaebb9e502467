#pragma once
// The plugins of a check, each in a host of its own (dllscope-host.exe):
// one after another, or --jobs of them at once.
#include <string>

#include "checker/check_options.h"
#include "checker/check_session.h"

namespace dllscope {

// Checks every plugin of `options` in a host of its own, --jobs at once, and
// hands the reports to `session` in the order given, each as soon as it
// and those before it are done: the same reports as one after another.
// Whatever a plugin does ends its own check only. Throws when not even the
// first host can be started (a setup error).
void CheckInHosts(const CheckOptions& options, const std::wstring& bridgePath,
                  CheckSession& session);

}  // namespace dllscope
