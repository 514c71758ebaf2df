// Feeds arbitrary bytes to the forwarder's answer reader as if the upstream had sent them: the
// head, the framing it announces and the body, under the same byte cap as a real post.
#include <cstddef>
#include <cstdint>
#include <string>

#include "MemoryIOHandler.h"
#include "base/Error.h"
#include "http/HttpAnswer.h"
#include "http/HttpAnswerStream.h"
#include "io/BufferedReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vp::fuzz::MemoryIOHandler io(std::string(reinterpret_cast<const char*>(data), size));
  vp::CappedIOHandler capped(io, vp::kMaxAnswerBytes + vp::kAnswerFramingAllowance);
  vp::BufferedReader reader(capped);
  std::string body;
  try {
    vp::HttpAnswerHead head = vp::ReadAnswerHead(reader);
    vp::ReadAnswerBody(reader, vp::FramingOf(head), body, [](std::uint64_t) {});
  } catch (const vp::Error&) {
    // a malformed or cut-off answer fails the post
  }
  return 0;
}
