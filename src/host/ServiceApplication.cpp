// Install, uninstall and the dispatcher with the main thread's loop.
#include "host/ServiceApplication.h"

#include <atomic>
#include <thread>

#include "base/AsciiText.h"
#include "host/CommandLine.h"
#include "host/ServiceControl.h"
#include "platform/CodePage.h"
#include "platform/Console.h"
#include "platform/FileSystem.h"
#include "platform/MainThread.h"
#include "platform/UserPrompt.h"

namespace vp {
namespace {

// How long the main loop waits for handed-over calls before it looks whether the service ended.
constexpr int kMainLoopWaitMs = 100;

std::unique_ptr<platform::ServiceManagerHandle> OpenManagerOrThrow(
    platform::ServiceManager& manager) {
  platform::ServiceFailure failure;
  std::unique_ptr<platform::ServiceManagerHandle> handle =
      manager.OpenManager(platform::ManagerAccess::kAllAccess, failure);
  if (!handle) throw SystemErrorOf(failure);
  return handle;
}

}  // namespace

std::string FormatTwo(const std::string& format, const std::string& first,
                      const std::string& second) {
  std::string text = format;
  std::size_t at = text.find("%s");
  if (at == std::string::npos) return text;
  text.replace(at, 2, first);
  at = text.find("%s", at + first.size());
  if (at != std::string::npos) text.replace(at, 2, second);
  return text;
}

TServiceApplication::TServiceApplication(platform::ServiceManager& manager,
                                         std::vector<std::string> arguments)
    : manager_(manager), arguments_(std::move(arguments)) {}

void TServiceApplication::CreateService(std::unique_ptr<TService> service) {
  service_ = std::move(service);
}

int TServiceApplication::Run() {
  if (!service_) return 0;
  bool silent = FindSwitch(arguments_, "SILENT");
  if (FindSwitch(arguments_, "INSTALL")) return Install(silent) ? 0 : 1;
  if (FindSwitch(arguments_, "UNINSTALL")) return Uninstall(silent) ? 0 : 1;
  Dispatch();
  return 0;
}

// A caller that cannot see the box (a silent install run by an installer or a script) still
// learns why, from the exit code and the line.
void TServiceApplication::Fail(const std::string& message) {
  platform::ReportToStarter(message);
  platform::ShowNotice(message, platform::NoticeIcon::kError);
}

bool TServiceApplication::Install(bool silent) {
  std::unique_ptr<platform::ServiceManagerHandle> manager = OpenManagerOrThrow(manager_);
  try {
    platform::ServiceFailure failure;
    std::unique_ptr<platform::ServiceHandle> service = manager->Create(
        {service_->Name(), service_->DisplayName(), platform::ProgramFilePath()}, failure);
    if (!service) throw SystemErrorOf(failure);
    try {
      // Before the first start, whose entries the viewer should already be able to show.
      failure = manager_.AddEventSource(service_->Name(), platform::ProgramFilePath());
      if (failure.failed()) throw SystemErrorOf(failure);
      service_->ServiceAfterInstall();
    } catch (...) {
      manager_.RemoveEventSource(service_->Name());
      service->Delete();
      throw;
    }
  } catch (const std::exception& error) {
    Fail(FormatTwo(kMsgInstallFailed, service_->DisplayName(),
                   platform::Utf8FromAnsi(error.what())));
    return false;
  }
  if (!silent) platform::ShowNotice(kMsgInstalled, platform::NoticeIcon::kInformation);
  return true;
}

bool TServiceApplication::Uninstall(bool silent) {
  std::unique_ptr<platform::ServiceManagerHandle> manager = OpenManagerOrThrow(manager_);
  try {
    platform::ServiceFailure failure;
    std::unique_ptr<platform::ServiceHandle> service =
        manager->Open(service_->Name(), platform::kServiceAllAccess, failure);
    if (!service) throw SystemErrorOf(failure);
    failure = service->Delete();
    if (failure.failed()) throw SystemErrorOf(failure);
    failure = manager_.RemoveEventSource(service_->Name());
    if (failure.failed()) throw SystemErrorOf(failure);
  } catch (const std::exception& error) {
    Fail(FormatTwo(kMsgUninstallFailed, service_->DisplayName(),
                   platform::Utf8FromAnsi(error.what())));
    return false;
  }
  if (!silent) platform::ShowNotice(kMsgUninstalled, platform::NoticeIcon::kInformation);
  return true;
}

// The dispatcher blocks until the service has ended, so it gets a thread of its own; the main
// thread meanwhile runs the calls other threads hand to it (a discovery run's result).
void TServiceApplication::Dispatch() {
  std::atomic<bool> ended{false};
  platform::ServiceFailure failure;
  std::thread dispatcher([&] {
    failure = manager_.RunDispatcher(service_->Name(), [this](const std::string& name) {
      if (EqualsNoCase(name, service_->Name())) service_->Main(manager_);
    });
    ended = true;
  });
  while (!ended) platform::RunMainThreadCalls(kMainLoopWaitMs);
  dispatcher.join();
  if (failure.failed())
    manager_.WriteEvent(platform::ExtractFileName(platform::ProgramFilePath()),
                        platform::EventType::kError, failure.text);
}

}  // namespace vp
