#pragma once
// "PluginRun": runs the selected plugin in the mode its return-type code
// calls for.
#include "main_window/form1_services.h"

namespace dllscope {

void RunSelectedPlugin(const Selection& selection);  // Command10

}  // namespace dllscope
