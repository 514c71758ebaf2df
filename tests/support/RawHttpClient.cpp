// The raw test client.
#include "support/RawHttpClient.h"

#include <cctype>
#include <chrono>

#include "platform/Error.h"
#include "platform/Socket.h"

namespace vp::test {
namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

}  // namespace

std::string RawHttpResponse::Header(std::string_view name) const {
  for (const std::string& line : header_lines) {
    std::size_t colon = line.find(':');
    if (colon == std::string::npos || !EqualsNoCase(std::string_view(line).substr(0, colon), name))
      continue;
    std::size_t start = line.find_first_not_of(' ', colon + 1);
    return start == std::string::npos ? std::string() : line.substr(start);
  }
  return {};
}

bool RawHttpResponse::HasHeader(std::string_view name) const {
  for (const std::string& line : header_lines) {
    std::size_t colon = line.find(':');
    if (colon != std::string::npos && EqualsNoCase(std::string_view(line).substr(0, colon), name))
      return true;
  }
  return false;
}

RawHttpResponse ParseRawResponse(std::string raw) {
  RawHttpResponse response;
  std::size_t head_end = raw.find("\r\n\r\n");
  std::string head = raw.substr(0, head_end);
  if (head_end != std::string::npos) response.body = raw.substr(head_end + 4);
  std::size_t start = 0;
  for (bool first = true; start <= head.size(); first = false) {
    std::size_t end = head.find("\r\n", start);
    if (end == std::string::npos) end = head.size();
    std::string line = head.substr(start, end - start);
    if (first)
      response.status_line = line;
    else
      response.header_lines.push_back(line);
    start = end + 2;
  }
  response.raw = std::move(raw);
  return response;
}

RawHttpResponse RawHttpExchange(std::uint16_t port, std::string_view request, int timeout_ms) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  platform::Socket socket = platform::Socket::ConnectTcp("127.0.0.1", port);
  socket.SetTimeouts(timeout_ms, timeout_ms);
  socket.SendAll(request);
  std::string raw;
  bool closed = false;
  char buffer[16384];
  while (!closed) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || !socket.WaitReadable(static_cast<int>(left.count()))) break;
    try {
      std::size_t n = socket.Receive(buffer, sizeof buffer);
      if (n == 0) closed = true;
      raw.append(buffer, n);
    } catch (const Error&) {
      closed = true;  // a reset ends the answer as well
    }
  }
  RawHttpResponse response = ParseRawResponse(std::move(raw));
  response.closed = closed;
  return response;
}

}  // namespace vp::test
