// The service-control operations that the program entry and the main window use on the proxy's
// service "VormetraProxyService": whether it is installed and running, start, stop, install,
// uninstall, and control codes. Every handle opened is closed before an operation returns.
#pragma once

#include <cstdint>
#include <memory>

#include "base/Error.h"
#include "platform/ServiceManager.h"

namespace vp {

inline constexpr const char* kServiceName = "VormetraProxyService";
inline constexpr const char* kServiceDisplayName = "Vormetra Proxy Service";
inline constexpr const char* kServiceDescription = "Vormetra Proxy Service";

// The switches the elevated copy is started with for the service.
inline constexpr const char* kSwitchStart = "start";
inline constexpr const char* kSwitchStop = "stop";
inline constexpr const char* kSwitchInstall = "install";
inline constexpr const char* kSwitchUninstall = "uninstall";

// The service opened by name through a connection with connect rights, for status queries and
// user-defined controls, with start and stop rights when asked; null when either open fails.
std::unique_ptr<platform::ServiceHandle> OpenProxyService(bool with_start_stop);
bool IsServiceInstalled();
// Whether the service's state is running; false when it cannot be opened or queried.
bool IsServiceRunning();
// Sends the code, only when the service runs; a failure is ignored.
void SendServiceControl(std::uint32_t code);
// Whether the service manager opens with all access.
bool HasServiceManagerRights();

// Starts the service and waits while it is start pending, sleeping for the wait hint it reports;
// true when it ends up running, and at once when it runs already. Without rights: relaunches
// the program with "/start" and answers false. Throws ErrorKind::kSystem with the system's text
// when the manager refuses the start, or a status query fails other than with "not active".
bool StartProxyService();
// Stops the service and waits while it is stop pending; true when it ends up stopped, also when
// it was not running. Raises nothing. Without rights: relaunches with "/stop", answers false.
bool StopProxyService();
// Relaunch the program with "/install" or "/uninstall": with the current rights when the process
// has the manager's full access, elevated otherwise.
void InstallProxyService();
void UninstallProxyService();
// Sets the service's description; whether that succeeded.
bool SetServiceDescription();

// The error for a failed call of the service manager: its system text, its number.
Error SystemErrorOf(const platform::ServiceFailure& failure);

}  // namespace vp
