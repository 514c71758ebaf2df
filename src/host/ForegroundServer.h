// The service host run by hand in the foreground of a console: the proxy's service module starts
// as it would under the service manager, its event-log entries go to the terminal, and Ctrl+C
// (SIGINT/SIGTERM) stops it.
#pragma once

namespace vp {

// Runs the service until it is asked to end. Returns the process exit code: 0 after a clean
// stop, 1 when the service failed to start (its "Service failed on start" entry is printed).
int RunForegroundServer();

}  // namespace vp
