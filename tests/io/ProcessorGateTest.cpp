// The gate in front of the handshakes' computation: its bound, and the order of its waiters.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "io/ProcessorGate.h"

namespace vp {
namespace {

TEST(ProcessorGate, NeverLetsMoreThreadsThroughThanItHasSlots) {
  ProcessorGate gate(2);
  std::atomic<int> inside{0};
  std::atomic<int> most{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&] {
      for (int round = 0; round < 20; ++round) {
        ProcessorGate::Slot slot(gate);
        int now = ++inside;
        int seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        // Long enough to be felt on Windows, where a shorter sleep may not sleep at all.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        --inside;
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(most.load(), 2);
}

TEST(ProcessorGate, WaitersEnterInTheOrderTheyCame) {
  ProcessorGate gate(1);
  gate.Enter();
  std::mutex mutex;
  std::vector<int> order;
  std::vector<std::thread> threads;
  for (int i = 0; i < 5; ++i) {
    threads.emplace_back([&, i] {
      ProcessorGate::Slot slot(gate);
      std::lock_guard<std::mutex> lock(mutex);
      order.push_back(i);
    });
    // Bounded: each thread queues up within moments.
    for (int wait = 0; wait < 5000 && gate.WaitingForTesting() < static_cast<std::size_t>(i + 1);
         ++wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  gate.Leave();
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

}  // namespace
}  // namespace vp
