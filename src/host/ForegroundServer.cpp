// A service manager of the console's own: the dispatcher runs the service at once, Ctrl+C is the
// stop control, and event-log entries are printed.
#include "host/ForegroundServer.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "host/ServiceApplication.h"
#include "host/VormetraProxyServiceU.h"
#include "platform/CodePage.h"
#include "platform/Console.h"
#include "platform/MainThread.h"
#include "platform/Termination.h"

namespace vp {
namespace {

// Short enough that Ctrl+C feels immediate.
constexpr auto kTerminationPoll = std::chrono::milliseconds(100);

class ConsoleServiceManager : public platform::ServiceManager {
 public:
  ~ConsoleServiceManager() override { StopWatch(); }

  std::unique_ptr<platform::ServiceManagerHandle> OpenManager(
      platform::ManagerAccess, platform::ServiceFailure& failure) override {
    failure = {platform::kErrorAccessDenied, "The console has no service manager."};
    return nullptr;
  }

  platform::ServiceFailure RunDispatcher(const std::string& service_name,
                                         platform::ServiceMainCall main) override {
    main(service_name);
    StopWatch();
    return {};
  }

  platform::ServiceFailure RegisterControlHandler(const std::string&,
                                                  platform::ServiceControlCall handler) override {
    watch_ = std::thread([this, handler = std::move(handler)] {
      while (!ended_) {
        if (platform::TerminationRequested()) {
          handler(platform::kControlStop);
          return;
        }
        std::this_thread::sleep_for(kTerminationPoll);
      }
    });
    return {};
  }

  platform::ServiceFailure ReportStatus(const platform::ServiceStatus& status) override {
    if (status.state == platform::ServiceState::kRunning) reached_running_ = true;
    if (status.state == platform::ServiceState::kStopped) ended_ = true;
    return {};
  }

  void WriteEvent(const std::string&, platform::EventType, const std::string& text) override {
    std::fprintf(stderr, "%s\n", platform::Utf8FromAnsi(text).c_str());
    std::fflush(stderr);
  }
  void WriteActivity(const std::string& line) override {
    WriteEvent({}, platform::EventType::kInformation, line);
  }
  // The console shows each line's text itself; there is no installation here.
  platform::ServiceFailure AddEventSource(const std::string&, const std::string&) override {
    return {};
  }
  platform::ServiceFailure RemoveEventSource(const std::string&) override { return {}; }

  bool ReachedRunning() const { return reached_running_; }

 private:
  void StopWatch() {
    ended_ = true;
    if (watch_.joinable()) watch_.join();
  }

  std::thread watch_;
  std::atomic<bool> ended_{false};
  std::atomic<bool> reached_running_{false};
};

}  // namespace

int RunForegroundServer() {
  platform::UseParentConsole();
  platform::MarkCurrentThreadAsMain();
  platform::InstallTerminationHandler();
  ConsoleServiceManager manager;
  TServiceApplication host(manager, {});
  host.CreateService(std::make_unique<TVormetraProxyService>());
  std::fprintf(stderr, "Vormetra Proxy on port %u; Ctrl+C stops it\n", kProxyPort);
  host.Run();
  return manager.ReachedRunning() ? 0 : 1;
}

}  // namespace vp
