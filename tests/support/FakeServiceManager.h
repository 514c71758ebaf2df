// An in-memory double of the service manager: services that exist, start (through a start
// pending phase) and stop as scripted, refuse with the errors a test names, and, on the side of
// the service process, a dispatcher that runs the service main at once, records every status
// report and event-log entry, and lets the test send control codes.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ServiceManager.h"

namespace vp::test {

class FakeServiceManager : public platform::ServiceManager {
 public:
  // Puts itself in place of the system's manager until destroyed.
  FakeServiceManager();
  ~FakeServiceManager() override;
  FakeServiceManager(const FakeServiceManager&) = delete;
  FakeServiceManager& operator=(const FakeServiceManager&) = delete;

  // --- The script.
  // Whether the manager opens with all access (the process has the rights).
  void SetRights(bool all_access);
  void AddService(const std::string& name, platform::ServiceState state);
  // A start leaves the service start pending for this many status queries, then in state.
  void SetStartPhase(int pending_queries, platform::ServiceState then);
  // A stop leaves the service stop pending for this many queries, then stopped.
  void SetStopPhase(int pending_queries);
  // The next start fails with that error number.
  void FailNextStart(int code);
  // Every status query fails with that error number (0: none do).
  void FailQueries(int code);
  // The dispatcher fails at once with that error number, as it does for a process that the
  // manager did not start.
  void FailDispatcher(int code);

  // --- What happened.
  bool Exists(const std::string& name) const;
  platform::ServiceState StateOf(const std::string& name) const;
  std::string DescriptionOf(const std::string& name) const;
  platform::ServiceRegistration RegistrationOf(const std::string& name) const;
  // The message file registered for an event source; empty when none is.
  std::string EventSourceFile(const std::string& source) const;
  // "start", "query", "control <code>", "create", "delete", "describe", "add source",
  // "remove source", in order.
  std::vector<std::string> calls() const;

  // --- The service process.
  std::vector<platform::ServiceStatus> reports() const;
  // "information: <text>" or "error: <text>", and the source each was written under.
  std::vector<std::string> events() const;
  std::vector<std::string> event_sources() const;
  std::string registered_name() const;
  // Waits up to a few seconds until the count-th report (counting from 1) has arrived.
  bool WaitForReports(std::size_t count) const;
  // Hands the code to the handler the service registered.
  void SendControl(std::uint32_t code);

  // platform::ServiceManager
  std::unique_ptr<platform::ServiceManagerHandle> OpenManager(
      platform::ManagerAccess access, platform::ServiceFailure& failure) override;
  platform::ServiceFailure RunDispatcher(const std::string& service_name,
                                         platform::ServiceMainCall main) override;
  platform::ServiceFailure RegisterControlHandler(const std::string& service_name,
                                                  platform::ServiceControlCall handler) override;
  platform::ServiceFailure ReportStatus(const platform::ServiceStatus& status) override;
  void WriteEvent(const std::string& source, platform::EventType type,
                  const std::string& text) override;
  platform::ServiceFailure AddEventSource(const std::string& source,
                                          const std::string& message_file) override;
  platform::ServiceFailure RemoveEventSource(const std::string& source) override;

  // For the handles it gives out.
  struct Service {
    platform::ServiceRegistration registration;
    platform::ServiceState state = platform::ServiceState::kStopped;
    std::string description;
    int pending_queries = 0;
  };
  platform::ServiceFailure Start(const std::string& name);
  platform::ServiceFailure Query(const std::string& name, platform::ServiceStatus& status);
  platform::ServiceFailure Control(const std::string& name, std::uint32_t code,
                                   platform::ServiceStatus& status);
  platform::ServiceFailure Describe(const std::string& name, const std::string& text);
  platform::ServiceFailure Delete(const std::string& name);
  platform::ServiceFailure Create(const platform::ServiceRegistration& registration);
  platform::ServiceFailure OpenExisting(const std::string& name);

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable reported_;
  bool rights_ = true;
  std::map<std::string, Service> services_;
  int start_pending_queries_ = 0;
  platform::ServiceState start_result_ = platform::ServiceState::kRunning;
  int stop_pending_queries_ = 0;
  int next_start_error_ = 0;
  int query_error_ = 0;
  int dispatcher_error_ = 0;
  std::vector<std::string> calls_;
  std::vector<platform::ServiceStatus> reports_;
  std::vector<std::string> events_;
  std::vector<std::string> event_sources_;
  std::map<std::string, std::string> registered_sources_;
  platform::ServiceControlCall handler_;
  std::string registered_name_;
};

// The text the double gives an error number (the one Windows gives it, for those tests name).
std::string FakeErrorText(int code);

}  // namespace vp::test
