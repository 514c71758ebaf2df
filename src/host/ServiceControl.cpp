// Start and stop with their polling, and the small queries around them.
#include "host/ServiceControl.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "host/CommonProc.h"

namespace vp {
namespace {

using platform::ServiceFailure;
using platform::ServiceState;
using platform::ServiceStatus;

// A service that reports a wait hint of 0 must not turn the poll into a busy loop.
constexpr std::uint32_t kMinimumPollMs = 10;

void SleepForWaitHint(const ServiceStatus& status) {
  std::this_thread::sleep_for(
      std::chrono::milliseconds(std::max(status.wait_hint_ms, kMinimumPollMs)));
}

}  // namespace

Error SystemErrorOf(const ServiceFailure& failure) {
  return Error(ErrorKind::kSystem, failure.text, "service manager", failure.code);
}

std::unique_ptr<platform::ServiceHandle> OpenProxyService(bool with_start_stop) {
  ServiceFailure failure;
  std::unique_ptr<platform::ServiceManagerHandle> manager =
      platform::CurrentServiceManager().OpenManager(platform::ManagerAccess::kConnect, failure);
  if (!manager) return nullptr;
  std::uint32_t rights = platform::kServiceQueryStatus | platform::kServiceUserDefinedControl;
  if (with_start_stop) rights |= platform::kServiceStart | platform::kServiceStop;
  return manager->Open(kServiceName, rights, failure);
}

bool IsServiceInstalled() { return OpenProxyService(false) != nullptr; }

bool IsServiceRunning() {
  std::unique_ptr<platform::ServiceHandle> service = OpenProxyService(false);
  if (!service) return false;
  ServiceStatus status;
  return !service->QueryStatus(status).failed() && status.state == ServiceState::kRunning;
}

void SendServiceControl(std::uint32_t code) {
  std::unique_ptr<platform::ServiceHandle> service = OpenProxyService(false);
  if (!service) return;
  ServiceStatus status;
  if (service->QueryStatus(status).failed() || status.state != ServiceState::kRunning) return;
  service->Control(code, status);
}

bool HasServiceManagerRights() {
  ServiceFailure failure;
  return platform::CurrentServiceManager().OpenManager(platform::ManagerAccess::kAllAccess,
                                                       failure) != nullptr;
}

// No overall time limit: a service that keeps reporting start pending is still starting.
bool StartProxyService() {
  if (!HasServiceManagerRights()) {
    RelaunchWithSwitch(kSwitchStart, false);
    return false;
  }
  std::unique_ptr<platform::ServiceHandle> service = OpenProxyService(true);
  if (!service) return false;
  ServiceFailure failure = service->Start();
  if (failure.failed()) {
    if (failure.code == platform::kErrorServiceAlreadyRunning) return true;
    throw SystemErrorOf(failure);
  }
  for (;;) {
    ServiceStatus status;
    failure = service->QueryStatus(status);
    if (failure.failed()) {
      if (failure.code != platform::kErrorServiceNotActive) throw SystemErrorOf(failure);
      return false;
    }
    if (status.state != ServiceState::kStartPending) return status.state == ServiceState::kRunning;
    SleepForWaitHint(status);
  }
}

bool StopProxyService() {
  if (!HasServiceManagerRights()) {
    RelaunchWithSwitch(kSwitchStop, false);
    return false;
  }
  std::unique_ptr<platform::ServiceHandle> service = OpenProxyService(true);
  if (!service) return false;
  ServiceStatus status;
  ServiceFailure failure = service->Control(platform::kControlStop, status);
  if (failure.failed()) return failure.code == platform::kErrorServiceNotActive;
  for (;;) {
    if (service->QueryStatus(status).failed()) return false;
    if (status.state != ServiceState::kStopPending) return status.state == ServiceState::kStopped;
    SleepForWaitHint(status);
  }
}

void InstallProxyService() { RelaunchWithSwitch(kSwitchInstall, HasServiceManagerRights()); }

void UninstallProxyService() { RelaunchWithSwitch(kSwitchUninstall, HasServiceManagerRights()); }

bool SetServiceDescription() {
  ServiceFailure failure;
  std::unique_ptr<platform::ServiceManagerHandle> manager =
      platform::CurrentServiceManager().OpenManager(platform::ManagerAccess::kAllAccess, failure);
  if (!manager) return false;
  std::unique_ptr<platform::ServiceHandle> service = manager->Open(
      kServiceName, platform::kStandardRightsRequired | platform::kServiceChangeConfig, failure);
  if (!service) return false;
  return !service->SetDescription(kServiceDescription).failed();
}

}  // namespace vp
