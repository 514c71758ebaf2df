// The watchdog: watches fire once their deadline passes, in deadline order, and never after they
// have been disarmed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "io/Watchdog.h"

namespace vp {
namespace {

using namespace std::chrono_literals;

// Waits at most 5 s for the condition.
template <typename Condition>
bool Eventually(Condition condition) {
  auto give_up = WatchClock::now() + 5s;
  while (!condition()) {
    if (WatchClock::now() > give_up) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

TEST(Watchdog, FiresAfterItsDeadlineUnlessDisarmedFirst) {
  std::atomic<int> fired{0};
  std::atomic<int> disarmed_fired{0};
  const auto armed_at = WatchClock::now();
  Watch kept(DeadlineIn(50), [&] { ++fired; });
  Watch dropped(DeadlineIn(50), [&] { ++disarmed_fired; });
  dropped.Disarm();

  ASSERT_TRUE(Eventually([&] { return fired == 1; }));
  EXPECT_GE(WatchClock::now() - armed_at, 50ms);
  EXPECT_TRUE(kept.Fired());
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(disarmed_fired, 0);
  EXPECT_FALSE(dropped.Fired());
}

TEST(Watchdog, EarlierDeadlineArmedLaterFiresFirst) {
  std::mutex mutex;
  std::vector<int> order;
  auto note = [&](int which) {
    std::lock_guard<std::mutex> lock(mutex);
    order.push_back(which);
  };
  Watch late(DeadlineIn(60000), [&] { note(3); });
  Watch middle(DeadlineIn(150), [&] { note(2); });
  Watch early(DeadlineIn(20), [&] { note(1); });
  ASSERT_TRUE(Eventually([&] { return middle.Fired(); }));
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

// A watch armed while the thread sleeps until an earlier deadline, since disarmed, does not wake
// it; it fires all the same.
TEST(Watchdog, LaterDeadlineFiresAfterTheEarlierOneWasDisarmed) {
  Watch earlier(DeadlineIn(100), [] {});
  std::this_thread::sleep_for(20ms);  // the thread now sleeps until the earlier deadline
  earlier.Disarm();
  Watch later(DeadlineIn(200), [] {});
  EXPECT_TRUE(Eventually([&] { return later.Fired(); }));
  EXPECT_FALSE(earlier.Fired());
}

TEST(Watchdog, DisarmWaitsForAnActionUnderWay) {
  std::atomic<bool> inside{false};
  std::atomic<bool> finished{false};
  Watch watch(DeadlineIn(0), [&] {
    inside = true;
    std::this_thread::sleep_for(200ms);
    finished = true;
  });
  ASSERT_TRUE(Eventually([&] { return inside.load(); }));
  watch.Disarm();
  EXPECT_TRUE(finished);
}

TEST(Watchdog, ReassignedWatchDisarmsTheOldOne) {
  std::atomic<int> first{0};
  std::atomic<int> second{0};
  Watch watch(DeadlineIn(50), [&] { ++first; });
  watch = Watch(DeadlineIn(50), [&] { ++second; });
  ASSERT_TRUE(Eventually([&] { return second == 1; }));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(first, 0);
}

}  // namespace
}  // namespace vp
