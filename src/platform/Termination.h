// Notice that the user or the system asked a foreground process to end (SIGINT/SIGTERM, or the
// console's Ctrl+C and close events on Windows).
#pragma once

namespace vp::platform {

void InstallTerminationHandler();
bool TerminationRequested();

}  // namespace vp::platform
