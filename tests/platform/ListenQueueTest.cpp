// The listening socket's queue against a burst of connects, as when the tills come back together
// after an outage.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "base/Error.h"
#include "platform/Socket.h"

namespace vp::platform {
namespace {

// Far above the 15 the listener once used, and within what every system grants.
constexpr int kBurst = 100;
constexpr auto kBurstBound = std::chrono::seconds(10);

TEST(ListenQueue, HoldsABurstWhileNobodyAccepts) {
  Socket listening = Socket::OpenTcp(IpFamily::kV4);
  listening.Bind("127.0.0.1", 0);
  listening.ListenWithSystemMaximumQueue();
  const std::uint16_t port = listening.LocalPort();

  std::vector<Socket> clients;
  std::atomic<int> connected{0};
  std::thread burst([&] {
    for (int i = 0; i < kBurst; ++i) {
      try {
        clients.push_back(Socket::ConnectTcp("127.0.0.1", port));
        ++connected;
      } catch (const Error&) {
        return;
      }
    }
  });
  // A connect that finds the queue full waits in retries; shutting the listener down ends it.
  auto deadline = std::chrono::steady_clock::now() + kBurstBound;
  while (connected.load() < kBurst && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (connected.load() < kBurst) listening.Interrupt();
  burst.join();
  ASSERT_EQ(connected.load(), kBurst);

  int accepted = 0;
  while (accepted < kBurst && listening.WaitReadable(5000)) {
    listening.Accept();
    ++accepted;
  }
  EXPECT_EQ(accepted, kBurst);
}

}  // namespace
}  // namespace vp::platform
