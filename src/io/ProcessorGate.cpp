// The gate's queue: each waiter has its own condition, so a freed slot wakes exactly one thread.
#include "io/ProcessorGate.h"

#include <algorithm>
#include <thread>

namespace vp {

ProcessorGate::ProcessorGate(unsigned slots) : free_(std::max(1u, slots)) {}

void ProcessorGate::Enter() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (free_ > 0 && waiting_.empty()) {
    --free_;
    return;
  }
  Waiter me;
  waiting_.push_back(&me);
  me.granted_changed.wait(lock, [&me] { return me.granted; });
}

void ProcessorGate::Leave() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (waiting_.empty()) {
    ++free_;
    return;
  }
  Waiter* next = waiting_.front();
  waiting_.pop_front();
  next->granted = true;
  next->granted_changed.notify_one();
}

std::size_t ProcessorGate::WaitingForTesting() {
  std::lock_guard<std::mutex> lock(mutex_);
  return waiting_.size();
}

ProcessorGate& ComputationGate() {
  static ProcessorGate gate(std::thread::hardware_concurrency());
  return gate;
}

}  // namespace vp
