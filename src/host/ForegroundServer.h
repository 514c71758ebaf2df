// The proxy served in the foreground of a console until the user or the system asks it to end.
#pragma once

namespace vp {

// Creates the proxy server, switches it on and runs the main-thread loop until SIGINT/SIGTERM
// (Ctrl+C on Windows). Returns the process exit code: 0 after a clean stop, 1 when the start
// failed (its message is printed first).
int RunForegroundServer();

}  // namespace vp
