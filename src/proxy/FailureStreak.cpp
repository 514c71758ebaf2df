// Deciding when a streak of failures is reported.
#include "proxy/FailureStreak.h"

namespace vp {

StreakChange FailureStreak::Observe(int failures_in_a_row, std::int64_t now) {
  bool failing = failures_in_a_row >= kFailuresBeforeAlarm;
  if (failing == reported_failing_) return StreakChange::kNone;
  if (last_report_ && now - *last_report_ < min_gap_) return StreakChange::kNone;
  reported_failing_ = failing;
  last_report_ = now;
  return failing ? StreakChange::kStarted : StreakChange::kEnded;
}

}  // namespace vp
