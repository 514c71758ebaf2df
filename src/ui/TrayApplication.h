// The tray application: the role of a start without task or service switches.
#pragma once

#include "ui/HostActions.h"

namespace vp {

// Creates the main window (shown, or only its tray icon, as its regime says) and runs its loop
// until the window closes. Returns the process exit code: 0, or 1 when the window could not be
// made at all (its error is shown first).
int RunTrayApplication(HostActions& host);

}  // namespace vp
