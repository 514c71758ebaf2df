// Deadlines over whole exchanges. A socket call is bounded by the socket's own timeouts, but a
// peer that sends one byte just inside each of them never trips one; a watch bounds the exchange
// as a whole and, when it runs out, wakes the blocked call from outside (Socket::Interrupt,
// TIdHTTP's interruption), the same way a stop does.
//
// One thread serves every watch of the process. It starts with the first watch, sleeps until the
// earliest deadline, and lives as long as the process, so that no exchange pays for a thread of
// its own.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace vp {

using WatchClock = std::chrono::steady_clock;

class Watch {
 public:
  // Watches nothing.
  Watch() = default;
  // Runs action on the watchdog's thread once deadline has passed, unless the watch is disarmed
  // first. The action must be short and must not arm or disarm watches itself. Throws
  // std::system_error when the watchdog's thread cannot be started.
  Watch(WatchClock::time_point deadline, std::function<void()> action);
  // Disarms.
  ~Watch();
  Watch(Watch&& other) noexcept;
  Watch& operator=(Watch&& other) noexcept;
  Watch(const Watch&) = delete;
  Watch& operator=(const Watch&) = delete;

  // Once this returns the action is not running and never will: what it touches may go.
  void Disarm();
  // Whether the deadline passed and the action ran (or is running).
  bool Fired() const;

  struct Entry;

 private:
  std::unique_ptr<Entry> entry_;
};

// The deadline timeout_ms from now.
inline WatchClock::time_point DeadlineIn(int timeout_ms) {
  return WatchClock::now() + std::chrono::milliseconds(timeout_ms);
}

}  // namespace vp
