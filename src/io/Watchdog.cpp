// The process's one watchdog thread and the watches it serves.
#include "io/Watchdog.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace vp {
namespace {

using ArmedWatches = std::multimap<WatchClock::time_point, Watch::Entry*>;

enum class WatchState { kArmed, kFiring, kDone };

}  // namespace

struct Watch::Entry {
  std::function<void()> action;
  WatchState state = WatchState::kArmed;  // guarded by the watchdog's mutex
  ArmedWatches::iterator position;        // while armed
  std::atomic<bool> fired{false};
};

namespace {

class Watchdog {
 public:
  void Arm(WatchClock::time_point deadline, Watch::Entry& entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!started_) {
      std::thread([this] { Run(); }).detach();
      started_ = true;
    }
    entry.position = armed_.emplace(deadline, &entry);
    // Waking the thread costs two thread switches, and most watches are disarmed long before
    // their deadline: the thread is woken only when it would otherwise sleep past this one. Once
    // up at the time it slept until, it finds the deadlines still armed.
    if (deadline < sleeping_until_) wake_.notify_one();
  }

  void Disarm(Watch::Entry& entry) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (entry.state == WatchState::kArmed) {
      armed_.erase(entry.position);
      entry.state = WatchState::kDone;
      return;
    }
    finished_.wait(lock, [&] { return entry.state == WatchState::kDone; });
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (armed_.empty()) {
        Sleep(lock, WatchClock::time_point::max());
        continue;
      }
      auto first = armed_.begin();
      if (WatchClock::now() < first->first) {
        Sleep(lock, first->first);
        continue;
      }
      Watch::Entry& entry = *first->second;
      armed_.erase(first);
      entry.state = WatchState::kFiring;
      entry.fired = true;
      lock.unlock();
      try {
        entry.action();
      } catch (...) {
        // An action only wakes a call; there is nobody to report a failure to.
      }
      lock.lock();
      entry.state = WatchState::kDone;
      finished_.notify_all();
    }
  }

  void Sleep(std::unique_lock<std::mutex>& lock, WatchClock::time_point until) {
    sleeping_until_ = until;
    if (until == WatchClock::time_point::max())
      wake_.wait(lock);
    else
      wake_.wait_until(lock, until);
    sleeping_until_ = WatchClock::time_point::min();  // awake: looks at every deadline anyway
  }

  std::mutex mutex_;
  std::condition_variable wake_;      // an earlier deadline than the thread sleeps until
  std::condition_variable finished_;  // an action has run
  ArmedWatches armed_;                // guarded
  bool started_ = false;              // guarded
  // guarded; what the thread sleeps until, min() while it is awake or not yet started
  WatchClock::time_point sleeping_until_ = WatchClock::time_point::min();
};

// Never destroyed: its thread may still wait on it while the process exits.
Watchdog& TheWatchdog() {
  static Watchdog* watchdog = new Watchdog;
  return *watchdog;
}

}  // namespace

Watch::Watch(WatchClock::time_point deadline, std::function<void()> action)
    : entry_(std::make_unique<Entry>()) {
  entry_->action = std::move(action);
  TheWatchdog().Arm(deadline, *entry_);
}

Watch::~Watch() { Disarm(); }

Watch::Watch(Watch&& other) noexcept = default;

Watch& Watch::operator=(Watch&& other) noexcept {
  if (this != &other) {
    Disarm();
    entry_ = std::move(other.entry_);
  }
  return *this;
}

void Watch::Disarm() {
  if (entry_) TheWatchdog().Disarm(*entry_);
}

bool Watch::Fired() const { return entry_ && entry_->fired.load(); }

}  // namespace vp
