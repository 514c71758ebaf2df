// The upstream connection as the answer reader sees it: every byte that arrives is counted, and the
// connection fails once an answer grows past what any real answer needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/Error.h"
#include "io/IOHandler.h"

namespace vp {

// Answers are SOAP documents of a few kilobytes; this leaves a thousand times that for anything
// real, while a broken or hostile upstream cannot fill our memory: every forward under way may
// hold this much at once, in a 32-bit process.
inline constexpr std::uint64_t kMaxAnswerBytes = 4ull * 1024 * 1024;
// Status line, headers and chunk framing come on top of the body.
inline constexpr std::uint64_t kAnswerFramingAllowance = 1024ull * 1024;
inline constexpr const char* kMsgAnswerTooLarge = "Answer too large.";

class CappedIOHandler final : public IOHandler {
 public:
  CappedIOHandler(IOHandler& inner, std::uint64_t limit) : inner_(inner), limit_(limit) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    std::size_t n = inner_.Read(buffer, size);
    received_ += n;
    if (received_ > limit_) throw Error(ErrorKind::kLimit, kMsgAnswerTooLarge);
    return n;
  }
  void Write(std::string_view data) override { inner_.Write(data); }
  bool WaitReadable(int timeout_ms) override { return inner_.WaitReadable(timeout_ms); }
  platform::Socket& socket() override { return inner_.socket(); }
  std::uint64_t received() const { return received_; }

 private:
  IOHandler& inner_;
  std::uint64_t limit_;
  std::uint64_t received_ = 0;
};

}  // namespace vp
