// The service host's application: with the switch "INSTALL" it registers its service with the
// service manager and its event-log source, with "UNINSTALL" it removes both (each confirmed in a
// box unless "SILENT" is given), and otherwise it hands the service to the manager's dispatcher and
// runs the main thread's loop until the service has ended.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/Service.h"
#include "platform/ServiceManager.h"

namespace vp {

inline constexpr const char* kMsgInstallFailed =
    "Service \"%s\" failed to install with error: \"%s\"";
inline constexpr const char* kMsgUninstallFailed =
    "Service \"%s\" failed to uninstall with error: \"%s\"";
inline constexpr const char* kMsgInstalled = "Service installed successfully";
inline constexpr const char* kMsgUninstalled = "Service uninstalled successfully";

class TServiceApplication {
 public:
  // arguments: the program's arguments, without the program path.
  TServiceApplication(platform::ServiceManager& manager, std::vector<std::string> arguments);
  TServiceApplication(const TServiceApplication&) = delete;
  TServiceApplication& operator=(const TServiceApplication&) = delete;

  // The host's one service, owned by the host.
  void CreateService(std::unique_ptr<TService> service);

  // Installs, uninstalls or runs the service, as the switches say; the process's exit code, 1
  // when an install or uninstall failed. When the manager itself refuses full access to an
  // install or uninstall, throws ErrorKind::kSystem with its text; every other failure of those
  // two is written to the starter's console (or standard error) and shown in an error box.
  int Run();

 private:
  bool Install(bool silent);
  bool Uninstall(bool silent);
  void Fail(const std::string& message);
  void Dispatch();

  platform::ServiceManager& manager_;
  std::vector<std::string> arguments_;
  std::unique_ptr<TService> service_;
};

// The text with its first two "%s" replaced by first and second.
std::string FormatTwo(const std::string& format, const std::string& first,
                      const std::string& second);

}  // namespace vp
