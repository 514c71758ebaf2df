// Lets at most a fixed number of threads through at once and the rest in the order they came.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

namespace vp {

class ProcessorGate {
 public:
  explicit ProcessorGate(unsigned slots);
  ProcessorGate(const ProcessorGate&) = delete;
  ProcessorGate& operator=(const ProcessorGate&) = delete;

  // Waits for a free slot; threads that wait get theirs first come, first served.
  void Enter();
  // Hands the slot to the longest waiting thread, or frees it.
  void Leave();

  std::size_t WaitingForTesting();

  class Slot {
   public:
    explicit Slot(ProcessorGate& gate) : gate_(gate) { gate_.Enter(); }
    ~Slot() { gate_.Leave(); }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;

   private:
    ProcessorGate& gate_;
  };

 private:
  struct Waiter {
    std::condition_variable granted_changed;
    bool granted = false;
  };

  std::mutex mutex_;
  unsigned free_;                // guarded by mutex_
  std::deque<Waiter*> waiting_;  // guarded by mutex_
};

// One slot per processor: for work that only computes, where more threads at once add switching
// and lock traffic, not throughput.
ProcessorGate& ComputationGate();

}  // namespace vp
