// The service main, the service thread and the status reports.
#include "host/Service.h"

#include <thread>

namespace vp {
namespace {

using platform::ServiceState;

bool IsPending(ServiceState state) {
  return state == ServiceState::kStartPending || state == ServiceState::kStopPending ||
         state == ServiceState::kPausePending || state == ServiceState::kContinuePending;
}

}  // namespace

TService::TService(std::string name, std::string display_name)
    : name_(std::move(name)), display_name_(std::move(display_name)) {}

void TService::ServiceStart(bool&) {}

void TService::ServiceStop(bool&) {}

void TService::ServiceAfterInstall() {}

bool TService::HandleCustomControl(std::uint32_t) { return true; }

platform::ServiceManager& TService::Manager() const {
  return manager_ != nullptr ? *manager_ : platform::CurrentServiceManager();
}

void TService::Main(platform::ServiceManager& manager) {
  manager_ = &manager;
  platform::ServiceFailure failure =
      manager.RegisterControlHandler(name_, [this](std::uint32_t code) { Controller(code); });
  if (failure.failed()) {
    LogMessage(failure.text, platform::EventType::kError);
    return;
  }
  ReportStatus(ServiceState::kStartPending);
  std::thread service_thread([this] { Execute(); });
  service_thread.join();
  ReportStatus(ServiceState::kStopped);
}

void TService::Controller(std::uint32_t code) {
  std::unique_lock<std::mutex> lock(mutex_);
  // Only an idle thread with nothing queued: earlier codes must be reported before the stop.
  bool announce = code == platform::kControlStop && !handling_ && codes_.empty() &&
                  (status_ == ServiceState::kRunning || status_ == ServiceState::kPaused);
  if (announce) {
    before_announced_stop_ = status_;
    lock.unlock();
    // The thread waits for a code, so nothing else is reported in between.
    ReportStatus(ServiceState::kStopPending);
    lock.lock();
  }
  codes_.push_back(code);
  code_arrived_.notify_one();
}

platform::ServiceState TService::Status() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_;
}

void TService::LogMessage(const std::string& text, platform::EventType type) {
  Manager().WriteEvent(name_, type, text);
}

void TService::LogActivity(const std::string& line) { Manager().WriteActivity(line); }

void TService::LogFailure(const std::string& during, const std::exception& error) {
  LogMessage("Service failed on " + during + ": " + error.what(), platform::EventType::kError);
}

void TService::Execute() {
  ReportStatus(ServiceState::kStartPending);
  bool started = true;
  try {
    ServiceStart(started);
  } catch (const std::exception& error) {
    LogFailure("start", error);
    return;
  }
  if (!started) return;
  ReportStatus(ServiceState::kRunning);
  try {
    while (HandleControl(NextCode())) {
    }
  } catch (const std::exception& error) {
    LogFailure("execute", error);
  }
}

std::uint32_t TService::NextCode() {
  std::unique_lock<std::mutex> lock(mutex_);
  handling_ = false;
  code_arrived_.wait(lock, [this] { return !codes_.empty(); });
  std::uint32_t code = codes_.front();
  codes_.pop_front();
  handling_ = true;
  return code;
}

// A paused service thread only waits for the next code, which is all a suspended one could do;
// the proxy's listener runs on threads of its own and keeps serving either way.
bool TService::HandleControl(std::uint32_t code) {
  switch (code) {
    case platform::kControlStop:
      return !Stop();
    case platform::kControlPause:
      ReportStatus(ServiceState::kPausePending);
      ReportStatus(ServiceState::kPaused);
      return true;
    case platform::kControlContinue:
      ReportStatus(ServiceState::kContinuePending);
      ReportStatus(ServiceState::kRunning);
      return true;
    case platform::kControlInterrogate:
      ReportStatus(Status());
      return true;
    case platform::kControlShutdown:
      // The machine is going down: the process simply ends, without the stop event.
      ReportStatus(ServiceState::kStopPending);
      return false;
    default:
      return CustomControl(code);
  }
}

// True when the service has stopped. An error in the stop event still ends the service: a
// service left in stop pending could be neither used nor stopped again.
bool TService::Stop() {
  ServiceState before;
  bool announced;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    announced = before_announced_stop_.has_value();
    before = before_announced_stop_.value_or(status_);
    before_announced_stop_.reset();
  }
  if (!announced) ReportStatus(ServiceState::kStopPending);
  bool stopped = true;
  try {
    ServiceStop(stopped);
  } catch (const std::exception& error) {
    LogFailure("stop", error);
  }
  if (!stopped) ReportStatus(before);
  return stopped;
}

// A code whose handling fails stops the service: after a failed reload its listener is off, and a
// service reported running must be serving.
bool TService::CustomControl(std::uint32_t code) {
  try {
    if (!HandleCustomControl(code)) ReportStatus(Status());
    return true;
  } catch (const std::exception& error) {
    LogMessage("Service failed in custom message(" + std::to_string(code) + "): " + error.what(),
               platform::EventType::kError);
  }
  return !Stop();
}

void TService::ReportStatus(ServiceState state) {
  platform::ServiceStatus status;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    checkpoint_ = IsPending(state) ? checkpoint_ + 1 : 0;
    status_ = state;
    status.checkpoint = checkpoint_;
  }
  status.state = state;
  status.controls_accepted =
      state == ServiceState::kStartPending
          ? 0
          : platform::kAcceptStop | platform::kAcceptPauseContinue | platform::kAcceptShutdown;
  status.wait_hint_ms = kServiceWaitHintMs;
  platform::ServiceFailure failure = Manager().ReportStatus(status);
  if (failure.failed()) LogMessage(failure.text, platform::EventType::kError);
}

}  // namespace vp
