// Line and block reads over an IOHandler, with the bounds that keep a hostile peer from making us
// buffer without end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "io/IOHandler.h"

namespace vp {

inline constexpr std::size_t kMaxLineLength = 16384;
inline constexpr const char* kMsgMaxLineLengthExceeded = "Max line length exceeded.";
inline constexpr const char* kMsgConnectionClosedGracefully = "Connection Closed Gracefully.";

class BufferedReader {
 public:
  explicit BufferedReader(IOHandler& io) : io_(io) {}

  // One line up to LF; one CR right before it is dropped. Bytes above 0x7F become '?' when
  // ascii_only is set. Throws kLimit past max_length bytes, kConnectionClosed at end of stream.
  std::string ReadLine(std::size_t max_length = kMaxLineLength, bool ascii_only = true);
  // Appends exactly count bytes to out. Throws kConnectionClosed when the stream ends first.
  void ReadBytes(std::uint64_t count, std::string& out);
  // Appends everything up to the end of the stream.
  void ReadToEnd(std::string& out);
  // Bytes already buffered, or the socket readable within timeout_ms.
  bool HasInput(int timeout_ms);
  // Bytes read from the stream that no read has taken yet.
  std::size_t Buffered() const { return buffer_.size() - start_; }

  IOHandler& io() { return io_; }

 private:
  // Reads more into the buffer; false at end of stream.
  bool Fill();

  IOHandler& io_;
  std::string buffer_;
  std::size_t start_ = 0;
};

}  // namespace vp
