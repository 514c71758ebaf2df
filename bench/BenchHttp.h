// Reading a till's request on the benchmark's servers: the head and the body it announces.
#pragma once

#include <cctype>
#include <cstddef>
#include <cstdlib>
#include <string>

namespace vp::bench {

// The Content-Length of a head (the name in any case), 0 without one.
inline std::size_t ContentLength(const std::string& head) {
  std::string lower = head;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::size_t at = lower.find("\r\ncontent-length:");
  return at == std::string::npos ? 0 : std::strtoull(head.c_str() + at + 17, nullptr, 10);
}

// Reads the head and as much body as it announces, at most max_bytes; false when the client went
// away first. read(buffer, size) gives the number of bytes read, 0 once the peer has gone.
// With head, the head's text is kept there.
template <typename Read>
bool ReadRequest(Read read, std::size_t max_bytes = std::size_t{1} << 20,
                 std::string* head = nullptr) {
  std::string request;
  char buffer[16 * 1024];
  std::size_t need = std::string::npos;
  while (request.size() < need && request.size() < max_bytes) {
    std::size_t n = read(buffer, sizeof buffer);
    if (n == 0) return false;
    request.append(buffer, n);
    std::size_t end = request.find("\r\n\r\n");
    if (need == std::string::npos && end != std::string::npos) {
      need = end + 4 + ContentLength(request.substr(0, end + 2));
      if (head) *head = request.substr(0, end + 2);
    }
  }
  return true;
}

// Whether the request lets the server keep its connection: HTTP/1.1 unless it says close,
// HTTP/1.0 only when it says keep-alive.
inline bool AsksToKeep(const std::string& head) {
  std::string lower = head;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::size_t at = lower.find("\r\nconnection:");
  std::string value =
      at == std::string::npos ? "" : lower.substr(at, lower.find("\r\n", at + 2) - at);
  if (value.find("close") != std::string::npos) return false;
  if (lower.find(" http/1.0\r\n") != std::string::npos)
    return value.find("keep-alive") != std::string::npos;
  return true;
}

}  // namespace vp::bench
