// Calls handed to the main thread: where they run, what the worker sees, and the bounded pump.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "platform/MainThread.h"

namespace vp::platform {
namespace {

constexpr int kSliceMs = 10;
constexpr int kMaxSlices = 500;  // bounds a failing test at five seconds

TEST(MainThread, WorkerCallRunsOnTheMainThreadAndTheWorkerWaitsForIt) {
  std::atomic<bool> ran_on_main{false};
  std::atomic<bool> worker_done{false};
  std::thread worker([&] {
    Synchronize([&] { ran_on_main = IsMainThread(); });
    worker_done = true;
  });
  int run = 0;
  for (int i = 0; i < kMaxSlices && !worker_done; ++i) run += RunMainThreadCalls(kSliceMs);
  worker.join();
  EXPECT_EQ(run, 1);
  EXPECT_TRUE(ran_on_main);
}

TEST(MainThread, AnErrorOfTheCallReachesTheWorker) {
  std::atomic<bool> caught{false};
  std::atomic<bool> worker_done{false};
  std::thread worker([&] {
    try {
      Synchronize([] { throw std::runtime_error("from the main thread"); });
    } catch (const std::runtime_error& error) {
      caught = std::string(error.what()) == "from the main thread";
    }
    worker_done = true;
  });
  for (int i = 0; i < kMaxSlices && !worker_done; ++i) RunMainThreadCalls(kSliceMs);
  worker.join();
  EXPECT_TRUE(caught);
}

TEST(MainThread, OnTheMainThreadTheCallRunsAtOnce) {
  bool ran = false;
  Synchronize([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_EQ(RunMainThreadCalls(0), 0);
}

}  // namespace
}  // namespace vp::platform
