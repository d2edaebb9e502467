#pragma once
// `dllscope-check --watch`: after the first check, the files it named are
// watched, and each settled change checks again.
#include <functional>
#include <string>

#include "checker/check_options.h"

namespace dllscope {

// Waits for changes to what `options` names and runs `checkAgain` after
// each (a line from `say` first: "14:02:11: meinplugin.dll geändert"),
// until Ctrl+C or the console closing; the last run's exit code (`code`
// when none ran).
int WatchAndCheckAgain(const CheckOptions& options, int code,
                       const std::function<int()>& checkAgain,
                       const std::function<void(const std::wstring&)>& say);

}  // namespace dllscope
