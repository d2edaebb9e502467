#pragma once
// "PluginName", "PluginDescription", "PluginBackvalue", "PluginBackvalueType":
// one bridge cycle each on the selected plugin, asking it one thing.
#include "main_window/form1_services.h"

namespace dllscope {

void AskPluginName(const Selection& selection);         // Command7
void AskPluginDescription(const Selection& selection);  // Command14
void AskPluginBackvalue(const Selection& selection);    // Command15
void LoadAndFreeOnly(const Selection& selection);       // Command16

}  // namespace dllscope
