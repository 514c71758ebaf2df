#include "support/DnsRuns.h"

#include <chrono>

#include "platform/MainThread.h"
#include "proxy/DNSThread.h"

namespace vp::test {

bool PumpMainThreadUntil(const std::function<bool()>& done) {
  // Only bounds a failing test; a passing one takes milliseconds.
  auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    platform::RunMainThreadCalls(10);
  }
  return true;
}

bool NoDnsRunsLeft() { return TDNSThread::LiveRunsForTesting() == 0; }

void UseShortDnsTiming(int query_wait_ms) {
  TDNSTiming timing;
  timing.query_wait_ms = query_wait_ms;
  timing.retry_pause_ms = 5;
  timing.run_limit_ms = 5000;
  TDNSThread::SetTimingForTesting(timing);
}

void RestoreDnsTiming() { TDNSThread::SetTimingForTesting(TDNSThread::DefaultTiming()); }

}  // namespace vp::test
