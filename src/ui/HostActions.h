// What the windows ask of the machine beyond the proxy: the hosts-file lines, the proxy's service
// and the root certificate store. The tray application binds it to the host-integration units;
// tests bind it to a double. Add, remove, start, stop and the saves may relaunch the program
// elevated and return once that copy has ended; callers read the state back and word the outcome
// themselves.
#pragma once

#include <cstdint>
#include <string>

namespace vp {

class TProxySettings;

// The service's user-defined control code that makes it read the settings file again.
inline constexpr std::uint32_t kControlReloadSettings = 128;

class HostActions {
 public:
  virtual ~HostActions() = default;

  // The hosts-file lines that point the authority's test and production host at this machine.
  virtual bool HasTestEntry() = 0;
  virtual bool HasProductionEntry() = 0;
  // Each add also takes out the other host's line.
  virtual void AddTestEntry() = 0;
  virtual void AddProductionEntry() = 0;
  // The lines of both hosts.
  virtual void RemoveEntries() = 0;

  // The proxy's service.
  virtual bool IsServiceInstalled() = 0;
  virtual bool IsServiceRunning() = 0;
  // True when the service ends up running (stopped); false also after an elevated relaunch.
  virtual bool StartProxyService() = 0;
  virtual bool StopProxyService() = 0;
  // Installing also starts the service; both report through the elevated copy's own boxes.
  virtual void InstallProxyService() = 0;
  virtual void UninstallProxyService() = 0;
  // Reaches a running service only.
  virtual void SendServiceControl(std::uint32_t code) = 0;

  // Whether the five certificate and key files of the HTTPS modes lie beside the program.
  virtual bool CertificateFilesPresent() = 0;
  // Makes a new set of them, elevated when the folder needs it; whether a new set lies there now.
  // A failure of this process raises the error that says why.
  virtual bool MakeCertificateFiles() = 0;
  // Puts the DER certificate in file_name into the current user's store store_name; through an
  // elevated copy where that store is the machine's. Whether the store holds it afterwards.
  virtual bool AddCertificateFile(const std::string& file_name, const std::string& store_name) = 0;

  // Writes the settings file; through an elevated copy when this process may not. Throws the
  // save's error when the file does not hold the settings afterwards.
  virtual void SaveSettings(const TProxySettings& settings) = 0;
};

}  // namespace vp
