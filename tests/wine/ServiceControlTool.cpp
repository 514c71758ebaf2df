// A Windows test tool of the Wine end-to-end checks: asks the service manager about the proxy's
// service and sends it control codes through the program's own service-control operations, since
// Wine's sc has no "control" command.
//
//   vp-service-control status        prints the service's state: stopped, start-pending,
//                                    stop-pending, running, continue-pending, pause-pending,
//                                    paused, or "missing" when it cannot be opened
//   vp-service-control send CODE     sends the code (decimal) when the service runs, as the main
//                                    window does after a settings change; prints the state after
//   vp-service-control pause|continue  what the system's service console does (the program itself
//                                    never pauses the service); prints the state after
//   vp-service-control event-text FILE information|error TEXT
//                                    prints what the event viewer shows for an entry of that
//                                    type with the insert TEXT, from FILE's message table
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "host/ServiceControl.h"
#include "platform/ServiceManager.h"

namespace {

const char* StateName(vp::platform::ServiceState state) {
  using vp::platform::ServiceState;
  switch (state) {
    case ServiceState::kStopped:
      return "stopped";
    case ServiceState::kStartPending:
      return "start-pending";
    case ServiceState::kStopPending:
      return "stop-pending";
    case ServiceState::kRunning:
      return "running";
    case ServiceState::kContinuePending:
      return "continue-pending";
    case ServiceState::kPausePending:
      return "pause-pending";
    case ServiceState::kPaused:
      return "paused";
  }
  return "unknown";
}

int PrintStatus() {
  std::unique_ptr<vp::platform::ServiceHandle> service = vp::OpenProxyService(false);
  if (!service) {
    std::puts("missing");
    return 0;
  }
  vp::platform::ServiceStatus status;
  vp::platform::ServiceFailure failure = service->QueryStatus(status);
  if (failure.failed()) {
    std::printf("query failed: %d %s\n", failure.code, failure.text.c_str());
    return 1;
  }
  std::puts(StateName(status.state));
  return 0;
}

// Pausing needs a right that the program's own opening of the service does not ask for.
constexpr std::uint32_t kServicePauseContinue = 0x0040;

int PauseOrContinue(std::uint32_t code) {
  vp::platform::ServiceFailure failure;
  auto manager = vp::platform::CurrentServiceManager().OpenManager(
      vp::platform::ManagerAccess::kConnect, failure);
  std::unique_ptr<vp::platform::ServiceHandle> service;
  if (manager)
    service = manager->Open(vp::kServiceName,
                            kServicePauseContinue | vp::platform::kServiceQueryStatus, failure);
  vp::platform::ServiceStatus status;
  if (service) failure = service->Control(code, status);
  if (failure.failed()) {
    std::printf("control failed: %d %s\n", failure.code, failure.text.c_str());
    return 1;
  }
  return PrintStatus();
}

int PrintEventText(const std::string& file, const std::string& type, const std::string& text) {
  std::printf("%s\n", vp::platform::EventTextForTesting(file,
                                                        type == "error"
                                                            ? vp::platform::EventType::kError
                                                            : vp::platform::EventType::kInformation,
                                                        text)
                          .c_str());
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: vp-service-control status | send CODE | pause | continue | event-text FILE "
               "information|error TEXT\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  try {
    if (command == "status" && argc == 2) return PrintStatus();
    if (command == "pause" && argc == 2) return PauseOrContinue(vp::platform::kControlPause);
    if (command == "continue" && argc == 2) return PauseOrContinue(vp::platform::kControlContinue);
    if (command == "event-text" && argc == 5) return PrintEventText(argv[2], argv[3], argv[4]);
    if (command == "send" && argc == 3) {
      vp::SendServiceControl(static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)));
      return PrintStatus();
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vp-service-control: %s\n", error.what());
    return 1;
  }
  return Usage();
}
