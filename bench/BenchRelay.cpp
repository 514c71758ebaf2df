// The bench's wide-area network: a relay on 127.0.0.1 that passes every byte on to a port of
// 127.0.0.1 only after a fixed delay each way, so that one round trip through it costs twice the
// delay. The first bytes of a connection also wait out a round trip for TCP's own handshake, which
// the relay's local accept did not pay.
//
//   vp-bench-relay --to PORT --delay-ms D [--port N] [--connections N]
//
// Prints "port N" once it listens and relays until it is stopped. At most N connections (64) at
// once, later ones wait in the queue; at most kMaxQueuedBytes in flight each way.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BenchMain.h"
#include "base/Error.h"
#include "platform/Socket.h"

namespace vp::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxQueuedBytes = 4 << 20;
constexpr std::size_t kPiece = 16 * 1024;

struct Options {
  int to = 0;
  int delay_ms = 10;
  int port = 0;
  int connections = 64;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string name = argv[i];
    int value = std::atoi(argv[i + 1]);
    if (name == "--to")
      options.to = value;
    else if (name == "--delay-ms")
      options.delay_ms = value;
    else if (name == "--port")
      options.port = value;
    else if (name == "--connections")
      options.connections = value;
    else
      throw std::runtime_error("unknown option " + name);
  }
  if (options.to <= 0 || options.delay_ms < 0 || options.connections < 1)
    throw std::runtime_error(
        "usage: vp-bench-relay --to PORT --delay-ms D [--port N] [--connections N]");
  return options;
}

// One direction of a connection: what the reader took from one socket, each piece with the time
// it may leave on the other; an empty piece is the end.
class DelayLine {
 public:
  void Push(Clock::time_point due, std::string bytes) {
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [this] { return queued_ < kMaxQueuedBytes; });
    queued_ += bytes.size();
    pieces_.push_back({due, std::move(bytes)});
    ready_.notify_one();
  }
  // Waits for the next piece and its time; false at the end.
  bool Pop(std::string& bytes) {
    Clock::time_point due;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return !pieces_.empty(); });
      due = pieces_.front().due;
      bytes = std::move(pieces_.front().bytes);
      pieces_.pop_front();
      queued_ -= bytes.size();
      room_.notify_one();
    }
    std::this_thread::sleep_until(due);
    return !bytes.empty();
  }

 private:
  struct Piece {
    Clock::time_point due;
    std::string bytes;
  };
  std::mutex mutex_;
  std::condition_variable ready_;
  std::condition_variable room_;
  std::deque<Piece> pieces_;
  std::size_t queued_ = 0;
};

// Moves bytes from one socket to the other through a delay line; when either side ends, both
// sockets are shut down, which ends the other direction too.
void Pump(platform::Socket& from, platform::Socket& to, Clock::duration delay,
          Clock::time_point not_before) {
  DelayLine line;
  std::thread writer([&] {
    std::string bytes;
    try {
      while (line.Pop(bytes)) to.SendAll(bytes);
    } catch (const std::exception&) {
      // The receiving side has gone.
    }
    from.Interrupt();
    to.Interrupt();
  });
  char buffer[kPiece];
  for (;;) {
    std::size_t n = 0;
    try {
      n = from.Receive(buffer, sizeof buffer);
    } catch (const std::exception&) {
      n = 0;
    }
    Clock::time_point due = std::max(Clock::now(), not_before) + delay;
    line.Push(due, std::string(buffer, n));
    if (n == 0) break;
  }
  writer.join();
}

void Relay(platform::Socket client, int to, Clock::duration delay) {
  // The client's connect finished at once; across the network it would have taken a round trip.
  const Clock::time_point connected = Clock::now() + 2 * delay;
  platform::Socket upstream =
      platform::Socket::ConnectTcp("127.0.0.1", static_cast<std::uint16_t>(to));
  std::thread back([&] { Pump(upstream, client, delay, Clock::time_point()); });
  Pump(client, upstream, delay, connected);
  back.join();
}

}  // namespace
}  // namespace vp::bench

int main(int argc, char** argv) {
  using namespace vp::bench;
  return RunTool("vp-bench-relay", [&] {
    Options options = ParseOptions(argc, argv);
    vp::platform::Socket listening = vp::platform::Socket::OpenTcp(vp::platform::IpFamily::kV4);
    listening.SetExclusiveAddressUse();
    listening.Bind("127.0.0.1", static_cast<std::uint16_t>(options.port));
    listening.ListenWithSystemMaximumQueue();
    std::printf("port %u\n", listening.LocalPort());
    std::fflush(stdout);
    const auto delay = std::chrono::milliseconds(options.delay_ms);
    std::vector<std::thread> workers;
    for (int i = 0; i < options.connections; ++i)
      workers.emplace_back([&] {
        for (;;) {
          try {
            Relay(listening.Accept(), options.to, delay);
          } catch (const std::exception&) {
            // One connection failed; the next one is relayed as usual.
          }
        }
      });
    for (std::thread& worker : workers) worker.join();
  });
}
