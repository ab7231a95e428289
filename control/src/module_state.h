// Module-wide state of the control library: its live objects (for
// DllCanUnloadNow) and its help file.
#pragma once

#include <QString>

namespace vexq4::control {

void ModuleObjectCreated();
void ModuleObjectDestroyed();

// Opens the operator's guide with the desktop (F1 in the control's windows).
void OpenHelp();

}  // namespace vexq4::control
