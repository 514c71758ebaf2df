// URL splitting and percent decoding on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "http/UrlSplit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  vp::UrlParts parts = vp::SplitUrl(text);
  (void)vp::PercentDecode(parts.path + parts.document);
  (void)vp::PercentDecode(text);
  return 0;
}
