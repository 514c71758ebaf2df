// Every host action handed straight to the unit that does it.
#include "app/SystemHostActions.h"

#include "host/CommonProc.h"
#include "host/ElevatedTasks.h"
#include "host/LocalCertificates.h"
#include "host/ServiceControl.h"

namespace vp {

bool SystemHostActions::HasTestEntry() { return THosts().HasTestEntry(); }
bool SystemHostActions::HasProductionEntry() { return THosts().HasProductionEntry(); }
void SystemHostActions::AddTestEntry() { THosts().AddTestEntry(); }
void SystemHostActions::AddProductionEntry() { THosts().AddProductionEntry(); }
void SystemHostActions::RemoveEntries() { THosts().RemoveEntries(); }

bool SystemHostActions::IsServiceInstalled() { return vp::IsServiceInstalled(); }
bool SystemHostActions::IsServiceRunning() { return vp::IsServiceRunning(); }
bool SystemHostActions::StartProxyService() { return vp::StartProxyService(); }
bool SystemHostActions::StopProxyService() { return vp::StopProxyService(); }
void SystemHostActions::InstallProxyService() { vp::InstallProxyService(); }
void SystemHostActions::UninstallProxyService() { vp::UninstallProxyService(); }
void SystemHostActions::SendServiceControl(std::uint32_t code) { vp::SendServiceControl(code); }

bool SystemHostActions::CertificateFilesPresent() { return vp::CertificateFilesPresent(); }
bool SystemHostActions::MakeCertificateFiles() { return vp::MakeCertificateFiles(); }

bool SystemHostActions::AddCertificateFile(const std::string& file_name,
                                           const std::string& store_name) {
  return AddCertificateWithRights(file_name, store_name);
}

void SystemHostActions::SaveSettings(const TProxySettings& settings) {
  SaveSettingsWithRights(settings);
}

}  // namespace vp
