// Unit files, their folder and the systemctl command.
#include "platform/posix/Systemd.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace vp::platform {
namespace {

std::mutex g_mutex;
std::string g_unit_folder_override;
std::string g_systemctl_override;
std::string g_package_unit_folder_override;

constexpr const char* kUnitFolder = "/etc/systemd/system";
// debhelper's place for a package's units on Debian 12; on a merged /usr (every Debian since)
// it is the same folder as /usr/lib/systemd/system.
constexpr const char* kPackageUnitFolder = "/lib/systemd/system";
constexpr const char* kSystemctl = "systemctl";
constexpr const char* kWantedBy = "multi-user.target";

// A whole program run (an end-to-end test) points both elsewhere through the environment. They are
// read only by the process that has them and never passed through an elevation.
constexpr const char* kUnitFolderVariable = "VORMETRA_SYSTEMD_UNIT_DIR";
constexpr const char* kSystemctlVariable = "VORMETRA_SYSTEMCTL";

// The settings file's folder, which the service must agree on with whoever installed it.
constexpr const char* kPassedVariable = "VORMETRA_COMMON_APPDATA";

bool HasControlCharacter(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  return false;
}

// A double-quoted word of a unit file: C-style escapes inside, '%' starts a specifier, and in
// command lines '$' starts a variable.
std::string QuotedWord(const std::string& text, bool command_line) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    if (c == '%') out += '%';
    if (c == '$' && command_line) out += '$';
    out += c;
  }
  return out + "\"";
}

std::string EscapedPlain(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '%') out += '%';
    out += c;
  }
  return out;
}

// The test's override, else the environment's, else the system's own.
std::string Chosen(const std::string& override_value, const char* variable,
                   const char* system_value) {
  if (!override_value.empty()) return override_value;
  const char* named = std::getenv(variable);
  return named != nullptr && *named != '\0' ? named : system_value;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text;
}

}  // namespace

void SetSystemdForTesting(const std::string& unit_folder, const std::string& systemctl,
                          const std::string& package_unit_folder) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_unit_folder_override = unit_folder;
  g_systemctl_override = systemctl;
  g_package_unit_folder_override = package_unit_folder;
}

namespace systemd {

std::string UnitFolder() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return Chosen(g_unit_folder_override, kUnitFolderVariable, kUnitFolder);
}

std::string UnitName(const std::string& service_name) { return service_name + ".service"; }

std::string UnitFilePath(const std::string& service_name) {
  return UnitFolder() + "/" + UnitName(service_name);
}

std::string PackageUnitFilePath(const std::string& service_name) {
  std::string folder;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    folder = g_package_unit_folder_override;
    if (folder.empty() && Chosen(g_unit_folder_override, kUnitFolderVariable, kUnitFolder) ==
                              std::string(kUnitFolder))
      folder = kPackageUnitFolder;
  }
  return folder.empty() ? std::string() : folder + "/" + UnitName(service_name);
}

std::string WantsLinkPath(const std::string& service_name) {
  return UnitFolder() + "/" + kWantedBy + ".wants/" + UnitName(service_name);
}

ChildResult Systemctl(const std::vector<std::string>& arguments) {
  std::string command;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    command = Chosen(g_systemctl_override, kSystemctlVariable, kSystemctl);
  }
  std::vector<std::string> argv{command};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return RunChild(argv, true);
}

ServiceFailure SystemctlFailure(const ChildResult& result, const std::string& what) {
  if (!result.started)
    return {kErrorServiceSpecific, "systemctl " + what + ": " + std::strerror(result.exit_status)};
  std::string said = Trimmed(result.output);
  if (!said.empty()) return {kErrorServiceSpecific, said};
  return {kErrorServiceSpecific,
          "systemctl " + what + " failed with exit status " + std::to_string(result.exit_status)};
}

std::string UnitFileText(const ServiceRegistration& registration) {
  if (HasControlCharacter(registration.executable_path) ||
      HasControlCharacter(registration.display_name))
    return {};
  std::string text = "[Unit]\nDescription=" + EscapedPlain(registration.display_name) +
                     "\nAfter=network.target\n\n[Service]\nType=notify\nNotifyAccess=main\n"
                     "ExecStart=" +
                     QuotedWord(registration.executable_path, true) +
                     "\nExecReload=/bin/kill -HUP $MAINPID\n";
  const char* appdata = std::getenv(kPassedVariable);
  if (appdata != nullptr && *appdata != '\0' && !HasControlCharacter(appdata))
    text += "Environment=" + QuotedWord(std::string(kPassedVariable) + "=" + appdata, false) + "\n";
  return text + "\n[Install]\nWantedBy=" + kWantedBy + "\n";
}

std::string WithDescription(const std::string& unit_text, const std::string& description) {
  std::string line = "Description=" + EscapedPlain(description) + "\n";
  std::size_t at = unit_text.rfind("Description=", 0) == 0 ? 0 : unit_text.find("\nDescription=");
  if (at != std::string::npos) {
    if (at != 0) ++at;
    std::size_t end = unit_text.find('\n', at);
    end = end == std::string::npos ? unit_text.size() : end + 1;
    return unit_text.substr(0, at) + line + unit_text.substr(end);
  }
  std::size_t section = unit_text.find("[Unit]\n");
  if (section == std::string::npos) return "[Unit]\n" + line + unit_text;
  return unit_text.substr(0, section + 7) + line + unit_text.substr(section + 7);
}

ServiceState StateOfActiveState(const std::string& active_state) {
  if (active_state == "active" || active_state == "reloading") return ServiceState::kRunning;
  if (active_state == "activating") return ServiceState::kStartPending;
  if (active_state == "deactivating") return ServiceState::kStopPending;
  return ServiceState::kStopped;  // inactive, failed, maintenance
}

}  // namespace systemd
}  // namespace vp::platform
