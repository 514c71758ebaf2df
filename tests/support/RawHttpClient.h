// A raw socket HTTP client for tests: sends exact bytes to 127.0.0.1 and reads the answer up to
// the close, within a bound, so a test sees precisely what went over the wire.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vp::test {

struct RawHttpResponse {
  std::string raw;      // every byte received
  bool closed = false;  // the server closed within the bound
  std::string status_line;
  std::vector<std::string> header_lines;
  std::string body;  // everything after the empty line

  // The value of the first header of that name (any case), or "" without one.
  std::string Header(std::string_view name) const;
  bool HasHeader(std::string_view name) const;
};

// Connects to 127.0.0.1:port, sends request, reads until the server closes or timeout_ms passes.
RawHttpResponse RawHttpExchange(std::uint16_t port, std::string_view request,
                                int timeout_ms = 5000);

// Splits raw answer bytes into status line, header lines and body.
RawHttpResponse ParseRawResponse(std::string raw);

}  // namespace vp::test
