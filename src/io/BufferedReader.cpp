// Buffered reads over one connection.
#include "io/BufferedReader.h"

#include <algorithm>

#include "base/Error.h"

namespace vp {
namespace {

constexpr std::size_t kReadChunk = 16384;

}  // namespace

bool BufferedReader::Fill() {
  if (start_ > 0 && start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  }
  char chunk[kReadChunk];
  std::size_t n = io_.Read(chunk, sizeof chunk);
  if (n == 0) return false;
  buffer_.append(chunk, n);
  return true;
}

std::string BufferedReader::ReadLine(std::size_t max_length, bool ascii_only) {
  std::size_t scanned = start_;
  for (;;) {
    std::size_t lf = buffer_.find('\n', scanned);
    if (lf != std::string::npos) {
      std::size_t end = lf;
      if (end > start_ && buffer_[end - 1] == '\r') --end;
      if (end - start_ > max_length) throw Error(ErrorKind::kLimit, kMsgMaxLineLengthExceeded);
      std::string line = buffer_.substr(start_, end - start_);
      start_ = lf + 1;
      if (ascii_only) {
        for (char& c : line)
          if (static_cast<unsigned char>(c) > 0x7F) c = '?';
      }
      return line;
    }
    // A CR may still come before the LF, so allow one byte over the limit before giving up.
    if (buffer_.size() - start_ > max_length + 1)
      throw Error(ErrorKind::kLimit, kMsgMaxLineLengthExceeded);
    scanned = buffer_.size();
    if (start_ > 0) {
      buffer_.erase(0, start_);
      scanned -= start_;
      start_ = 0;
    }
    if (!Fill()) throw Error(ErrorKind::kConnectionClosed, kMsgConnectionClosedGracefully);
  }
}

void BufferedReader::ReadBytes(std::uint64_t count, std::string& out) {
  while (count > 0) {
    if (start_ == buffer_.size() && !Fill())
      throw Error(ErrorKind::kConnectionClosed, kMsgConnectionClosedGracefully);
    std::size_t take =
        static_cast<std::size_t>(std::min<std::uint64_t>(count, buffer_.size() - start_));
    out.append(buffer_, start_, take);
    start_ += take;
    count -= take;
  }
}

void BufferedReader::ReadToEnd(std::string& out) {
  for (;;) {
    out.append(buffer_, start_, std::string::npos);
    buffer_.clear();
    start_ = 0;
    if (!Fill()) return;
  }
}

bool BufferedReader::HasInput(int timeout_ms) {
  return start_ < buffer_.size() || io_.WaitReadable(timeout_ms);
}

}  // namespace vp
