// Base64 decoding never fails and never gives more bytes than the alphabet characters can hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "json/KesBase64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string decoded = vp::TKesBase64::Decode(text);
  if (decoded.size() > size * 3 / 4) std::abort();
  return 0;
}
