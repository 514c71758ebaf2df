// The switch table and the roles behind it.
#include "app/ProgramEntry.h"

#include <exception>
#include <memory>

#include "app/SystemHostActions.h"
#include "base/AsciiText.h"
#include "host/CommandLine.h"
#include "host/CommonProc.h"
#include "host/ConnectionCheck.h"
#include "host/ElevatedTasks.h"
#include "host/ForegroundServer.h"
#include "host/KesCertStore.h"
#include "host/LocalCertificates.h"
#include "host/ServiceApplication.h"
#include "host/ServiceControl.h"
#include "host/StatusReport.h"
#include "host/VormetraProxyServiceU.h"
#include "platform/CodePage.h"
#include "platform/Console.h"
#include "platform/FileSystem.h"
#include "platform/ServiceManager.h"
#include "platform/UserPrompt.h"
#include "proxy/ProxyServer.h"
#include "ui/TrayApplication.h"

namespace vp {
namespace {

constexpr const char* kSwitchServe = "serve";

const platform::ProcessEntry* FindProcess(const std::vector<platform::ProcessEntry>& processes,
                                          std::uint32_t id) {
  for (const platform::ProcessEntry& entry : processes)
    if (entry.id == id) return &entry;
  return nullptr;
}

bool NameIsAnyOf(const std::string& name, const std::vector<std::string>& names) {
  for (const std::string& candidate : names)
    if (EqualsNoCase(name, candidate)) return true;
  return false;
}

int RunMakeCertificates() {
  if (!MakeCertificateFiles()) return 1;
  std::string folder = platform::Utf8FromAnsi(AppFileFolder());
  if (folder.size() > 1) folder.pop_back();  // the trailing delimiter
  platform::ReportToStarter(kMsgCertificatesMade + folder + ".");
  return 0;
}

int RunServiceHost(const std::vector<std::string>& arguments) {
  TServiceApplication host(platform::CurrentServiceManager(), arguments);
  host.CreateService(std::make_unique<TVormetraProxyService>());
  return host.Run();
}

// Runs a role; the exit code of the roles that have one of their own.
int RunRole(Role role, const std::vector<std::string>& arguments) {
  switch (role) {
    case Role::kAddTestEntry:
      THosts().AddTestEntry();
      return 0;
    case Role::kAddProductionEntry:
      THosts().AddProductionEntry();
      return 0;
    case Role::kRemoveEntries:
      THosts().RemoveEntries();
      return 0;
    case Role::kMakeCertificates:
      return RunMakeCertificates();
    case Role::kStatus:
      return RunStatus(kProxyPort);
    case Role::kCheckConnection:
      return RunConnectionCheck();
    case Role::kSaveSettings:
      SaveStagedSettings(SwitchArgument(arguments, kSwitchSaveSettings, 0));
      return 0;
    case Role::kAddCertificate:
      return TKesCertStore().AddCertificateFile(SwitchArgument(arguments, kSwitchAddCertificate, 0),
                                                SwitchArgument(arguments, kSwitchAddCertificate, 1))
                 ? 0
                 : 1;
    case Role::kRemoveRoot:
      RemoveRootFromStore();
      return 0;
    case Role::kStartService:
    case Role::kStartInstalledService:
      StartProxyService();
      return 0;
    case Role::kStopService:
      StopProxyService();
      return 0;
    case Role::kServiceHost:
      return RunServiceHost(arguments);
    case Role::kForegroundServer:
      return RunForegroundServer();
    case Role::kTrayApplication:
      break;
  }
  SystemHostActions host;
  return RunTrayApplication(host);
}

}  // namespace

RoleProbes SystemRoleProbes() {
  return {IsServiceInstalled, IsServiceRunning, [] { return IsStartedByServiceManager(); }};
}

Role ChooseRole(const std::vector<std::string>& arguments, const RoleProbes& probes) {
  if (FindSwitch(arguments, kSwitchHostTest)) return Role::kAddTestEntry;
  if (FindSwitch(arguments, kSwitchHostProd)) return Role::kAddProductionEntry;
  if (FindSwitch(arguments, kSwitchHostRemove)) return Role::kRemoveEntries;
  if (FindSwitch(arguments, kSwitchCerts)) return Role::kMakeCertificates;
  if (FindSwitch(arguments, kSwitchStatus)) return Role::kStatus;
  if (FindSwitch(arguments, kSwitchCheck)) return Role::kCheckConnection;
  if (FindSwitch(arguments, kSwitchSaveSettings)) return Role::kSaveSettings;
  if (FindSwitch(arguments, kSwitchAddCertificate)) return Role::kAddCertificate;
  if (FindSwitch(arguments, kSwitchRootRemove)) return Role::kRemoveRoot;
  if (FindSwitch(arguments, kSwitchStart)) return Role::kStartService;
  if (FindSwitch(arguments, kSwitchStop)) return Role::kStopService;
  bool install = FindSwitch(arguments, kSwitchInstall);
  if (install && probes.is_service_installed() && !probes.is_service_running())
    return Role::kStartInstalledService;
  if (probes.is_started_by_service_manager() || install || FindSwitch(arguments, kSwitchUninstall))
    return Role::kServiceHost;
  if (FindSwitch(arguments, kSwitchServe)) return Role::kForegroundServer;
  return Role::kTrayApplication;
}

bool IsStartedByServiceManager() {
  platform::ServiceManagerAncestry ancestry = platform::ServiceManagerAncestryRule();
  if (!ancestry.possible) return false;
  return IsStartedByServiceManager(platform::ProcessSnapshot(), platform::CurrentProcessId(),
                                   ancestry);
}

bool IsStartedByServiceManager(const std::vector<platform::ProcessEntry>& processes,
                               std::uint32_t self,
                               const platform::ServiceManagerAncestry& ancestry) {
  if (!ancestry.possible) return false;
  const platform::ProcessEntry* own = FindProcess(processes, self);
  if (own == nullptr) return false;
  const platform::ProcessEntry* parent = FindProcess(processes, own->parent_id);
  if (parent == nullptr || !EqualsNoCase(parent->exe_file, ancestry.parent)) return false;
  if (ancestry.grandparents.empty()) return true;
  const platform::ProcessEntry* grandparent = FindProcess(processes, parent->parent_id);
  return grandparent != nullptr && NameIsAnyOf(grandparent->exe_file, ancestry.grandparents);
}

// The last-resort handler of a task process: the error's message on the starter's console (or
// standard error) and in an error box, exit code 1.
int RunProgram(const std::vector<std::string>& arguments) {
  try {
    return RunRole(ChooseRole(arguments, SystemRoleProbes()), arguments);
  } catch (const std::exception& error) {
    std::string message = platform::Utf8FromAnsi(error.what());
    platform::ReportToStarter(message);
    platform::ShowNotice(message, platform::NoticeIcon::kError);
    return 1;
  }
}

}  // namespace vp
