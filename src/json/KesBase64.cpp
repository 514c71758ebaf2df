// Tolerant Base64 decoding.
#include "json/KesBase64.h"

#include <cstdint>

namespace vp {
namespace {

// The value of a Base64 alphabet character, or -1 for any other byte.
int AlphabetValue(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string TKesBase64::Decode(const std::string& text) {
  TKesBase64 decoder;
  return decoder.DecodeString(text);
}

std::string TKesBase64::DecodeString(const std::string& text) const {
  MemoryStream source{text, 0};
  MemoryStream destination;
  DecodeStream(source, destination);
  return destination.Bytes;
}

void TKesBase64::DecodeStream(MemoryStream& source, MemoryStream& destination) const {
  // Never more than 13 bits are held (up to 7 left over plus 6 new), so 32 bits cannot overflow.
  std::uint32_t accumulator = 0;
  int bits = 0;
  while (source.Position < source.Bytes.size()) {
    int value = AlphabetValue(static_cast<unsigned char>(source.Bytes[source.Position++]));
    if (value < 0) continue;
    accumulator = (accumulator << 6) | static_cast<std::uint32_t>(value);
    bits += 6;
    while (bits >= 8) {
      bits -= 8;
      destination.Bytes += static_cast<char>((accumulator >> bits) & 0xFF);
      accumulator &= (1u << bits) - 1;
    }
  }
  destination.Position = destination.Bytes.size();
}

}  // namespace vp
