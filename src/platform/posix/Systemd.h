// The pieces of systemd the service manager's POSIX half works with: where unit files go, the
// systemctl command, and the unit file a service is registered with.
#pragma once

#include <string>
#include <vector>

#include "platform/ServiceManager.h"
#include "platform/posix/ChildProcess.h"

namespace vp::platform::systemd {

// How long a caller polling a pending state waits between two queries. systemd reports no wait
// hint of its own; a start or stop of this program takes well under a second.
inline constexpr std::uint32_t kWaitHintMs = 250;

// /etc/systemd/system unless a test or VORMETRA_SYSTEMD_UNIT_DIR points it elsewhere.
std::string UnitFolder();
// "<unit folder>/<name>.service".
std::string UnitFilePath(const std::string& service_name);
// Where a package's own unit for the service lies ("/lib/systemd/system/<name>.service"); empty
// while a test or the environment has moved the unit folder, so that such a run never finds the
// machine's own package.
std::string PackageUnitFilePath(const std::string& service_name);
// Where "systemctl enable" links the unit for the target it is wanted by.
std::string WantsLinkPath(const std::string& service_name);
// "<name>.service".
std::string UnitName(const std::string& service_name);

// Runs systemctl (or the command VORMETRA_SYSTEMCTL names) with the arguments, its output captured.
ChildResult Systemctl(const std::vector<std::string>& arguments);
// A failure that names what systemctl said, or how it ended when it said nothing.
ServiceFailure SystemctlFailure(const ChildResult& result, const std::string& what);

// The unit file for a registration: a notify service (it reports readiness once its proxy
// listens), reloaded by SIGHUP, wanted by the multi-user target. Empty when the program's path
// cannot be written into a unit safely (a control character in it).
std::string UnitFileText(const ServiceRegistration& registration);
// The unit text with its Description= line set to description.
std::string WithDescription(const std::string& unit_text, const std::string& description);

// The state systemd's ActiveState names, as the service control manager would report it.
ServiceState StateOfActiveState(const std::string& active_state);

}  // namespace vp::platform::systemd
