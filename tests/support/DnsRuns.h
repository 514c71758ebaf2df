// Address discovery runs inside a test: waits short enough that a run ends within the test, and
// the test's main thread running the calls the runs hand to it.
#pragma once

#include <functional>

namespace vp::test {

// Runs the calls handed to the main thread until done() holds; false when 10 s ran out first.
bool PumpMainThreadUntil(const std::function<bool()>& done);

// Every discovery run has ended, its last call handed over included.
bool NoDnsRunsLeft();

// Short discovery waits (a reply within query_wait_ms, retries 5 ms apart, 5 s a run) until
// RestoreDnsTiming.
void UseShortDnsTiming(int query_wait_ms);
void RestoreDnsTiming();

}  // namespace vp::test
