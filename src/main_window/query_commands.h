#pragma once
// "PluginName", "PluginDescription", "PluginBackvalue", "PluginBackvalueType":
// one bridge cycle each on the selected plugin. The first three ask the plugin
// one thing each; "PluginBackvalueType" (Command16) asks nothing: it only
// loads the bridge and the plugin and frees them.
#include "main_window/form1_services.h"

namespace dllscope {

void AskPluginName(const Selection& selection);         // Command7
void AskPluginDescription(const Selection& selection);  // Command14
void AskPluginBackvalue(const Selection& selection);    // Command15
void LoadAndFreeOnly(const Selection& selection);       // Command16

}  // namespace dllscope
