// When a run of failed forwards is worth telling somebody: forwards "start failing" at the third
// failure in a row and "work again" at the first success after that. Whoever tells (the tray's
// balloon, the service's event log) may ask for a least time between two reports; the state is
// what is reported, so after a quiet spell the next record brings the report up to date.
#pragma once

#include <cstdint>
#include <optional>

namespace vp {

inline constexpr int kFailuresBeforeAlarm = 3;

enum class StreakChange { kNone, kStarted, kEnded };

class FailureStreak {
 public:
  explicit FailureStreak(std::int64_t min_seconds_between_reports = 0)
      : min_gap_(min_seconds_between_reports) {}

  // Given the failures in a row now, at time now (Unix seconds): the change to report, if any.
  StreakChange Observe(int failures_in_a_row, std::int64_t now);

 private:
  std::int64_t min_gap_;
  bool reported_failing_ = false;
  std::optional<std::int64_t> last_report_;
};

}  // namespace vp
