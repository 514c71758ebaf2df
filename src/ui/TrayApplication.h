// The tray application: the role of a start without task or service switches.
#pragma once

#include <cstdint>

#include "proxy/ProxyServer.h"
#include "ui/HostActions.h"

namespace vp {

// Creates the main window (shown, or only its tray icon, as its regime says) and runs its loop
// until the window closes. Returns the process exit code: 0, or 1 when the window could not be
// made at all (its error is shown first). The own proxy listens on proxy_port (tests pick their
// own).
int RunTrayApplication(HostActions& host, std::uint16_t proxy_port = kProxyPort);

}  // namespace vp
