#include "support/FakeHostActions.h"

#include "proxy/ProxySettings.h"

namespace vp::test {

std::vector<std::string> FakeHostActions::actions() const {
  std::vector<std::string> result;
  for (const std::string& call : calls_)
    if (call.rfind("Has", 0) != 0 && call.rfind("Is", 0) != 0) result.push_back(call);
  return result;
}

bool FakeHostActions::HasTestEntry() {
  calls_.push_back("HasTestEntry");
  return test_entry;
}

bool FakeHostActions::HasProductionEntry() {
  calls_.push_back("HasProductionEntry");
  return production_entry;
}

// Like the hosts-file editor: one add takes the other host's line out.
void FakeHostActions::AddTestEntry() {
  calls_.push_back("AddTestEntry");
  if (!hosts_changes_work) return;
  test_entry = true;
  production_entry = false;
}

void FakeHostActions::AddProductionEntry() {
  calls_.push_back("AddProductionEntry");
  if (!hosts_changes_work) return;
  production_entry = true;
  test_entry = false;
}

void FakeHostActions::RemoveEntries() {
  calls_.push_back("RemoveEntries");
  if (!hosts_changes_work) return;
  test_entry = false;
  production_entry = false;
}

bool FakeHostActions::IsServiceInstalled() {
  calls_.push_back("IsServiceInstalled");
  return service_installed;
}

bool FakeHostActions::IsServiceRunning() {
  calls_.push_back("IsServiceRunning");
  return service_installed && service_running;
}

bool FakeHostActions::StartProxyService() {
  calls_.push_back("StartProxyService");
  if (service_changes_work && service_installed) service_running = true;
  return service_installed && service_running;
}

bool FakeHostActions::StopProxyService() {
  calls_.push_back("StopProxyService");
  if (service_changes_work) service_running = false;
  return !service_running;
}

// Installing starts the service too.
void FakeHostActions::InstallProxyService() {
  calls_.push_back("InstallProxyService");
  if (!service_changes_work) return;
  service_installed = true;
  service_running = true;
}

void FakeHostActions::UninstallProxyService() {
  calls_.push_back("UninstallProxyService");
  if (!service_changes_work) return;
  service_installed = false;
  service_running = false;
}

void FakeHostActions::SendServiceControl(std::uint32_t code) {
  calls_.push_back("SendServiceControl " + std::to_string(code));
}

bool FakeHostActions::CertificateFilesPresent() { return certificate_files; }

bool FakeHostActions::MakeCertificateFiles() {
  calls_.push_back("MakeCertificateFiles");
  certificate_files = certificate_files || certificate_making_works;
  return certificate_making_works;
}

bool FakeHostActions::AddCertificateFile(const std::string& file_name,
                                         const std::string& store_name) {
  calls_.push_back("AddCertificateFile " + file_name + " " + store_name);
  return certificate_accepted;
}

void FakeHostActions::SaveSettings(const TProxySettings& settings) { settings.Save(); }

}  // namespace vp::test
