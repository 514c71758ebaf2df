// The service host's service: the service main that the dispatcher calls, the service thread that
// runs the start, stop and control events one at a time, the status reports to the service
// manager and the event-log entries. A module derives from it and fills in the events.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <string>

#include "platform/ServiceManager.h"

namespace vp {

// The wait hint of every status report.
inline constexpr std::uint32_t kServiceWaitHintMs = 5000;

class TService {
 public:
  TService(std::string name, std::string display_name);
  virtual ~TService() = default;
  TService(const TService&) = delete;
  TService& operator=(const TService&) = delete;

  const std::string& Name() const { return name_; }
  const std::string& DisplayName() const { return display_name_; }

  // The events, on the service thread. Start and stop leave their flag true unless the module
  // says otherwise; an error they raise is written to the event log.
  virtual void ServiceStart(bool& started);
  virtual void ServiceStop(bool& stopped);
  // Right after the installation, while the new registration is still open; an error raised
  // here undoes the installation.
  virtual void ServiceAfterInstall();
  // Every control code outside the standard five. False: the state in force is reported again.
  virtual bool HandleCustomControl(std::uint32_t code);

  // The service main: registers Controller with the manager, reports start pending, runs the
  // service thread and waits for it, then reports stopped. Returns when the service has stopped.
  void Main(platform::ServiceManager& manager);
  // The controller entry: hands the code to the service thread, in arrival order. A stop that
  // finds the thread idle is reported as pending at once: the manager hands its caller the state
  // reported by the time this returns, and a caller polls only while the stop is pending.
  void Controller(std::uint32_t code);
  // The state last reported.
  platform::ServiceState Status() const;
  // One entry in the event log under the service's name.
  void LogMessage(const std::string& text,
                  platform::EventType type = platform::EventType::kInformation);
  // One line of running activity: the journal or the console has it, the event log does not.
  void LogActivity(const std::string& line);

 private:
  void Execute();
  // Runs one control code; false when the service thread is to end.
  bool HandleControl(std::uint32_t code);
  bool Stop();
  // False when the code's handling failed and the service has stopped.
  bool CustomControl(std::uint32_t code);
  std::uint32_t NextCode();
  void ReportStatus(platform::ServiceState state);
  void LogFailure(const std::string& during, const std::exception& error);
  platform::ServiceManager& Manager() const;

  const std::string name_;
  const std::string display_name_;
  platform::ServiceManager* manager_ = nullptr;

  mutable std::mutex mutex_;
  std::condition_variable code_arrived_;
  std::deque<std::uint32_t> codes_;
  platform::ServiceState status_ = platform::ServiceState::kStopped;
  std::uint32_t checkpoint_ = 0;
  bool handling_ = false;  // the service thread is running a code
  // The state before a stop that Controller has already reported as pending.
  std::optional<platform::ServiceState> before_announced_stop_;
};

}  // namespace vp
