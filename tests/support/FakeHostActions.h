// A double of the hosts file, the service and the certificate store behind the windows: state a
// test sets up, operations that change it as the real ones would (or fail to, as after a refused
// elevation), and every call recorded in order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/HostActions.h"

namespace vp::test {

class FakeHostActions : public HostActions {
 public:
  // The machine's state.
  bool test_entry = false;
  bool production_entry = false;
  bool service_installed = false;
  bool service_running = false;
  // Whether the changing operations take effect (false: the user refused the elevation).
  bool hosts_changes_work = true;
  bool service_changes_work = true;
  bool certificate_accepted = true;
  bool certificate_files = true;
  bool certificate_making_works = true;

  // Every call, as "HasTestEntry", "SendServiceControl 128", "AddCertificateFile <file> Root".
  const std::vector<std::string>& calls() const { return calls_; }
  // The calls that change something (no Has/Is queries).
  std::vector<std::string> actions() const;
  void ClearCalls() { calls_.clear(); }

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
  // Saves as the real one does when the file is writable; not among the calls.
  void SaveSettings(const TProxySettings& settings) override;

 private:
  std::vector<std::string> calls_;
};

}  // namespace vp::test
