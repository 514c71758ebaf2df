// Raw HTTP exchanges over loopback sockets.
#include "support/LoopbackHttp.h"

#include <atomic>
#include <chrono>

#include "base/Error.h"

namespace vp::test {

std::string LoopbackAnswer::Header(const std::string& name) const {
  for (const auto& [n, v] : headers)
    if (n == name) return v;
  return {};
}

platform::Socket ConnectLoopback(std::uint16_t port, const std::string& host) {
  return platform::Socket::ConnectTcp(host, port);
}

LoopbackAnswer ReadAnswer(platform::Socket& socket, int wait_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  std::string raw;
  bool complete = false;
  char buffer[16384];
  try {
    while (std::chrono::steady_clock::now() < deadline) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (!socket.WaitReadable(static_cast<int>(left.count()) + 1)) continue;
      std::size_t n = socket.Receive(buffer, sizeof buffer);
      if (n == 0) {
        complete = true;
        break;
      }
      raw.append(buffer, n);
    }
  } catch (const Error&) {
    complete = true;  // a reset also ends the answer
  }
  return ParseAnswer(std::move(raw), complete);
}

LoopbackAnswer Exchange(std::uint16_t port, const std::string& request, const std::string& host) {
  platform::Socket socket = ConnectLoopback(port, host);
  socket.SendAll(request);
  return ReadAnswer(socket);
}

LoopbackAnswer ParseAnswer(std::string raw, bool complete) {
  LoopbackAnswer answer;
  answer.complete = complete;
  answer.raw = std::move(raw);
  std::size_t head_end = answer.raw.find("\r\n\r\n");
  if (head_end == std::string::npos) return answer;
  std::string head = answer.raw.substr(0, head_end);
  answer.body = answer.raw.substr(head_end + 4);
  std::size_t line_end = head.find("\r\n");
  answer.status_line = head.substr(0, line_end);
  if (answer.status_line.size() >= 12) answer.status = std::stoi(answer.status_line.substr(9, 3));
  while (line_end != std::string::npos) {
    std::size_t start = line_end + 2;
    line_end = head.find("\r\n", start);
    std::string line =
        head.substr(start, line_end == std::string::npos ? std::string::npos : line_end - start);
    std::size_t colon = line.find(": ");
    if (colon != std::string::npos)
      answer.headers.emplace_back(line.substr(0, colon), line.substr(colon + 2));
  }
  return answer;
}

FullListener::FullListener() {
  constexpr int kProbeTimeoutMs = 200;
  constexpr int kMaxQueued = 16;
  listening_ = platform::Socket::OpenTcp(platform::IpFamily::kV4);
  listening_.Bind("127.0.0.1", 0);
  listening_.Listen(0);
  port_ = listening_.LocalPort();
  const std::atomic<bool> never{false};
  for (int i = 0; i < kMaxQueued; ++i) {
    try {
      queued_.push_back(platform::Socket::ConnectTcp("127.0.0.1", port_, kProbeTimeoutMs, never));
    } catch (const Error&) {
      return;  // the queue is full: this connect went unanswered
    }
  }
}

}  // namespace vp::test
