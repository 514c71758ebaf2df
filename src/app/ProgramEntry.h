// The program entry's choice of role, from the command line and the process's ancestry: a task
// process that runs one hosts-file, settings, certificate or service operation and ends, the
// service host, the foreground server, or the tray application.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ProcessList.h"

namespace vp {

// In the order the switch table tests them.
enum class Role {
  kAddTestEntry,           // "hosttest"
  kAddProductionEntry,     // "hostprod"
  kRemoveEntries,          // "hostremove"
  kMakeCertificates,       // "certs"
  kStatus,                 // "status"
  kCheckConnection,        // "check"
  kSaveSettings,           // "savesettings" STAGED_FILE
  kAddCertificate,         // "addcert" FILE STORE
  kRemoveRoot,             // "rootremove"
  kStartService,           // "start"
  kStopService,            // "stop"
  kStartInstalledService,  // "install", with the service installed and not running
  kServiceHost,            // started by the service manager, or "install", or "uninstall"
  kForegroundServer,       // "serve": the service host run by hand in the console
  kTrayApplication,        // anything else
};

// The questions the choice may ask the system, each only when the rows before did not decide.
struct RoleProbes {
  std::function<bool()> is_service_installed;
  std::function<bool()> is_service_running;
  std::function<bool()> is_started_by_service_manager;
};

// The probes that ask the real service manager and process list.
RoleProbes SystemRoleProbes();
// arguments: the program's arguments, without the program path.
Role ChooseRole(const std::vector<std::string>& arguments, const RoleProbes& probes);

// Whether the service manager started this process, from the system's process list.
bool IsStartedByServiceManager();
// The same decision over a given list: this process's entry, its parent's and its
// grandparent's, each the first entry with that id; the names compared without regard to case.
bool IsStartedByServiceManager(const std::vector<platform::ProcessEntry>& processes,
                               std::uint32_t self,
                               const platform::ServiceManagerAncestry& ancestry);

// Takes the role and runs it; returns the process exit code. An error raised by a task is shown
// in an error box and gives 1; the tray application's exit code is its own.
int RunProgram(const std::vector<std::string>& arguments);

}  // namespace vp
