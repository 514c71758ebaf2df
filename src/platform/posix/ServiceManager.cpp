// systemd in the role of the service control manager: a registered service is a unit file with
// its "enable" link, start and stop go through systemctl without waiting (the caller polls, as it
// does on Windows), the first user-defined control code travels as SIGHUP through the unit's
// reload command. Where a package has installed the service's unit, that unit is the service:
// registering it means enabling it, removing it disabling it, and no second unit is written.
#include "platform/ServiceManager.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/Error.h"
#include "platform/FileSystem.h"
#include "platform/ServiceManagerNative.h"
#include "platform/posix/ServiceProcess.h"
#include "platform/posix/Systemd.h"

namespace vp::platform {
namespace {

// The one user-defined code a unit can carry: "systemctl reload" sends the service SIGHUP.
constexpr std::uint32_t kControlSentAsReload = 128;

// The texts Windows gives these errors, so that messages read the same on both systems.
ServiceFailure Failure(int code) {
  switch (code) {
    case kErrorAccessDenied:
      return {code, "Access is denied."};
    case kErrorInvalidName:
      return {code, "The filename, directory name, or volume label syntax is incorrect."};
    case kErrorInvalidServiceControl:
      return {code, "The requested control is not valid for this service."};
    case kErrorServiceAlreadyRunning:
      return {code, "An instance of the service is already running."};
    case kErrorServiceDoesNotExist:
      return {code, "The specified service does not exist as an installed service."};
    case kErrorServiceNotActive:
      return {code, "The service has not been started."};
    case kErrorServiceExists:
      return {code, "The specified service already exists."};
    default:
      return {code, "Unknown error"};
  }
}

bool PathExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool PackageUnitExists(const std::string& name) {
  std::string path = systemd::PackageUnitFilePath(name);
  return !path.empty() && PathExists(path);
}

// A package's unit is there from its installation on; as the service it counts only while it is
// enabled, as a Windows service is registered to start with the system.
bool PackageUnitEnabled(const std::string& name) {
  return PackageUnitExists(name) && PathExists(systemd::WantsLinkPath(name));
}

// "Key=value" lines of "systemctl show": the value of key, or empty.
std::string ShownValue(const std::string& output, const std::string& key) {
  std::string prefix = key + "=";
  std::size_t at = output.rfind(prefix, 0) == 0 ? 0 : output.find("\n" + prefix);
  if (at == std::string::npos) return {};
  if (at != 0) ++at;
  std::size_t end = output.find('\n', at);
  return output.substr(at + prefix.size(),
                       end == std::string::npos ? end : end - at - prefix.size());
}

class UnitService : public ServiceHandle {
 public:
  UnitService(std::string name, bool package) : name_(std::move(name)), package_(package) {}

  ServiceFailure QueryStatus(ServiceStatus& status) override {
    ChildResult shown =
        systemd::Systemctl({"show", "--property=LoadState,ActiveState", systemd::UnitName(name_)});
    if (!shown.started || shown.exit_status != 0) return systemd::SystemctlFailure(shown, "show");
    if (ShownValue(shown.output, "LoadState") == "not-found")
      return Failure(kErrorServiceDoesNotExist);
    status = ServiceStatus{};
    status.state = systemd::StateOfActiveState(ShownValue(shown.output, "ActiveState"));
    status.wait_hint_ms = systemd::kWaitHintMs;
    if (status.state == ServiceState::kRunning)
      status.controls_accepted = kAcceptStop | kAcceptShutdown;
    return {};
  }

  ServiceFailure Start() override {
    ServiceStatus status;
    if (ServiceFailure failure = QueryStatus(status); failure.failed()) return failure;
    if (status.state != ServiceState::kStopped) return Failure(kErrorServiceAlreadyRunning);
    return Run({"--no-ask-password", "start", "--no-block", systemd::UnitName(name_)}, "start");
  }

  ServiceFailure Control(std::uint32_t code, ServiceStatus& status) override {
    if (ServiceFailure failure = QueryStatus(status); failure.failed()) return failure;
    if (code == kControlInterrogate) return {};
    if (code != kControlStop && code != kControlSentAsReload)
      return Failure(kErrorInvalidServiceControl);
    if (status.state != ServiceState::kRunning && status.state != ServiceState::kStartPending)
      return Failure(kErrorServiceNotActive);
    ServiceFailure sent =
        code == kControlStop
            ? Run({"--no-ask-password", "stop", "--no-block", systemd::UnitName(name_)}, "stop")
            : Run({"--no-ask-password", "reload", systemd::UnitName(name_)}, "reload");
    if (sent.failed()) return sent;
    QueryStatus(status);
    return {};
  }

  // The package's unit file is dpkg's, and it carries the service's description already.
  ServiceFailure SetDescription(const std::string& text) override {
    if (package_) return {};
    std::string path = systemd::UnitFilePath(name_);
    try {
      ReplaceFileBytes(path, systemd::WithDescription(ReadFileBytes(path), text));
    } catch (const Error& error) {
      return {kErrorAccessDenied, error.what()};
    }
    return Run({"daemon-reload"}, "daemon-reload");
  }

  // Leaves nothing behind that systemd could still start: the unit is stopped and disabled, its
  // "enable" link goes even when disabling failed (a damaged unit file), and then our own file.
  ServiceFailure Delete() override {
    std::string path = systemd::UnitFilePath(name_);
    if (package_ ? !PackageUnitEnabled(name_) : !PathExists(path))
      return Failure(kErrorServiceDoesNotExist);
    std::string unit = systemd::UnitName(name_);
    systemd::Systemctl({"--no-ask-password", "stop", unit});
    systemd::Systemctl({"--no-ask-password", "disable", unit});
    std::string link = systemd::WantsLinkPath(name_);
    if (PathExists(link)) ::unlink(link.c_str());
    if (!package_ && ::unlink(path.c_str()) != 0) return {kErrorAccessDenied, std::strerror(errno)};
    systemd::Systemctl({"daemon-reload"});
    systemd::Systemctl({"reset-failed", unit});
    return {};
  }

 private:
  static ServiceFailure Run(const std::vector<std::string>& arguments, const std::string& what) {
    ChildResult result = systemd::Systemctl(arguments);
    if (result.started && result.exit_status == 0) return {};
    return systemd::SystemctlFailure(result, what);
  }

  std::string name_;
  bool package_;
};

class UnitFolderManager : public ServiceManagerHandle {
 public:
  // Our own unit comes first, as systemd lets a unit in /etc hide the package's.
  std::unique_ptr<ServiceHandle> Open(const std::string& name, std::uint32_t,
                                      ServiceFailure& failure) override {
    if (PathExists(systemd::UnitFilePath(name))) return std::make_unique<UnitService>(name, false);
    if (PackageUnitEnabled(name)) return std::make_unique<UnitService>(name, true);
    failure = Failure(kErrorServiceDoesNotExist);
    return nullptr;
  }

  std::unique_ptr<ServiceHandle> Create(const ServiceRegistration& registration,
                                        ServiceFailure& failure) override {
    std::string path = systemd::UnitFilePath(registration.name);
    if (PathExists(path) || PackageUnitEnabled(registration.name)) {
      failure = Failure(kErrorServiceExists);
      return nullptr;
    }
    if (PackageUnitExists(registration.name)) return RegisterUnit(registration.name, true, failure);
    std::string text = systemd::UnitFileText(registration);
    if (text.empty()) {
      failure = Failure(kErrorInvalidName);
      return nullptr;
    }
    try {
      ReplaceFileBytes(path, text);
    } catch (const Error& error) {
      failure = {kErrorAccessDenied, error.what()};
      return nullptr;
    }
    return RegisterUnit(registration.name, false, failure);
  }

 private:
  // A unit that systemd cannot take is removed again rather than left half-installed.
  static std::unique_ptr<ServiceHandle> RegisterUnit(const std::string& name, bool package,
                                                     ServiceFailure& failure) {
    auto service = std::make_unique<UnitService>(name, package);
    failure = Register(name);
    if (!failure.failed()) return service;
    service->Delete();
    return nullptr;
  }

  static ServiceFailure Register(const std::string& name) {
    ChildResult reloaded = systemd::Systemctl({"daemon-reload"});
    if (!reloaded.started || reloaded.exit_status != 0)
      return systemd::SystemctlFailure(reloaded, "daemon-reload");
    ChildResult enabled =
        systemd::Systemctl({"--no-ask-password", "enable", systemd::UnitName(name)});
    if (!enabled.started || enabled.exit_status != 0)
      return systemd::SystemctlFailure(enabled, "enable");
    return {};
  }
};

class SystemdServiceManager : public ServiceManager {
 public:
  // Connecting needs nothing; changing the registrations needs the right to write unit files.
  std::unique_ptr<ServiceManagerHandle> OpenManager(ManagerAccess access,
                                                    ServiceFailure& failure) override {
    if (access == ManagerAccess::kAllAccess && ::access(systemd::UnitFolder().c_str(), W_OK) != 0) {
      failure = Failure(kErrorAccessDenied);
      return nullptr;
    }
    return std::make_unique<UnitFolderManager>();
  }

  ServiceFailure RunDispatcher(const std::string& service_name, ServiceMainCall main) override {
    if (!service_process::StartedBySystemd())
      return {kErrorFailedServiceControllerConnect,
              "The service process could not connect to the service controller."};
    service_process::Run(service_name, main);
    return {};
  }

  ServiceFailure RegisterControlHandler(const std::string&, ServiceControlCall handler) override {
    if (!service_process::WatchSignals(std::move(handler)))
      return {kErrorServiceSpecific, std::strerror(errno)};
    return {};
  }

  ServiceFailure ReportStatus(const ServiceStatus& status) override {
    service_process::NotifyState(status.state);
    return {};
  }

  void WriteEvent(const std::string&, EventType type, const std::string& text) override {
    service_process::WriteJournalLines(type == EventType::kError ? 3 : 6, text);
  }
  void WriteActivity(const std::string& line) override {
    service_process::WriteJournalLines(6, line);
  }

  // The journal keeps each entry's text itself and takes any source.
  ServiceFailure AddEventSource(const std::string&, const std::string&) override { return {}; }
  ServiceFailure RemoveEventSource(const std::string&) override { return {}; }
};

}  // namespace

ServiceManager& NativeServiceManager() {
  static SystemdServiceManager manager;
  return manager;
}

std::string EventTextForTesting(const std::string&, EventType, const std::string& text) {
  return text;
}

}  // namespace vp::platform
