// The windows' host actions on this machine: the hosts-file editor, the service-control operations
// the root certificate installer and the settings file.
#pragma once

#include "ui/HostActions.h"

namespace vp {

// Each call makes the editor or installer it needs and lets it go at once; none keeps state.
class SystemHostActions : public HostActions {
 public:
  bool HasTestEntry() override;
  bool HasProductionEntry() override;
  void AddTestEntry() override;
  void AddProductionEntry() override;
  void RemoveEntries() override;

  bool IsServiceInstalled() override;
  bool IsServiceRunning() override;
  bool StartProxyService() override;
  bool StopProxyService() override;
  void InstallProxyService() override;
  void UninstallProxyService() override;
  void SendServiceControl(std::uint32_t code) override;

  bool CertificateFilesPresent() override;
  bool MakeCertificateFiles() override;
  bool AddCertificateFile(const std::string& file_name, const std::string& store_name) override;
  void SaveSettings(const TProxySettings& settings) override;
};

}  // namespace vp
