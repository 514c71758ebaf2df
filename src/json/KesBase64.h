// Tolerant Base64 decoding (RFC 4648 alphabet): every character outside the alphabet is skipped,
// padding included, and decoding never fails.
#pragma once

#include <string>

namespace vp {

class TKesBase64 {
 public:
  // A byte source read from its current position to its end, and a growing byte sink: the memory
  // streams the decoder works between.
  struct MemoryStream {
    std::string Bytes;
    std::size_t Position = 0;
  };

  // Decodes the text; every decoded byte becomes one character, without code-page conversion.
  static std::string Decode(const std::string& text);

  std::string DecodeString(const std::string& text) const;
  // Reads source from its position to its end and appends each byte to destination as soon as it
  // is complete. Bits left over at the end (fewer than eight) are dropped. "=" neither ends the
  // stream nor resets the bit count: characters after it continue the same bit stream.
  void DecodeStream(MemoryStream& source, MemoryStream& destination) const;
};

}  // namespace vp
