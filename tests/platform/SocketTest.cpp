// Sockets on loopback: connects that nobody answers, and the reset a killed peer leaves behind.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/Error.h"
#include "platform/Socket.h"
#include "support/LoopbackHttp.h"
#include "support/UnderWine.h"

namespace vp::platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Where Linux leaves the connect unanswered, Windows refuses it; either way it must end in time.
void ExpectUnansweredOrRefused(const Error& error, ErrorKind unanswered) {
  if (error.kind() == ErrorKind::kSocket) {
    EXPECT_NE(error.detail().find("connect"), std::string::npos) << error.what();
    return;
  }
  EXPECT_EQ(error.kind(), unanswered) << error.what();
}

TEST(SocketConnect, UnansweredConnectEndsAtItsTimeout) {
  test::FullListener full;
  const std::atomic<bool> never{false};
  const auto started = Clock::now();
  try {
    Socket::ConnectTcp("127.0.0.1", full.port(), 300, never);
    FAIL() << "connected to a full queue";
  } catch (const Error& error) {
    ExpectUnansweredOrRefused(error, ErrorKind::kSocketTimeout);
  }
  EXPECT_LT(Clock::now() - started, 5s);
}

TEST(SocketConnect, AbandonEndsAPendingConnectAtOnce) {
  test::FullListener full;
  std::atomic<bool> abandon{false};
  std::thread stopper([&] {
    std::this_thread::sleep_for(200ms);
    abandon = true;
  });
  const auto started = Clock::now();
  try {
    Socket::ConnectTcp("127.0.0.1", full.port(), 60000, abandon);
    ADD_FAILURE() << "connected to a full queue";
  } catch (const Error& error) {
    ExpectUnansweredOrRefused(error, ErrorKind::kCancelled);
  }
  EXPECT_LT(Clock::now() - started, 5s);
  stopper.join();
}

TEST(SocketClose, WithResetMakesThePeersReceiveFail) {
  Socket listening = Socket::OpenTcp(IpFamily::kV4);
  listening.Bind("127.0.0.1", 0);
  listening.Listen(1);
  Socket client = Socket::ConnectTcp("127.0.0.1", listening.LocalPort());
  Socket served = listening.Accept();
  served.CloseWithReset();
  ASSERT_TRUE(client.WaitReadable(5000));
  char byte;
  try {
    std::size_t received = client.Receive(&byte, 1);
    // Wine's server shuts every socket down before it closes it, so the peer sees an orderly end
    // there whatever the linger time; Windows itself and POSIX send the reset.
    if (test::UnderWine() && received == 0) return;
    FAIL() << "a reset read as an orderly end";
  } catch (const Error& error) {
    EXPECT_EQ(error.kind(), ErrorKind::kConnectionClosed) << error.what();
  }
}

}  // namespace
}  // namespace vp::platform
