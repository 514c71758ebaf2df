// Feeds arbitrary bytes to the DNS reply parser. The identifier is taken from the input itself so
// that most inputs get past the identifier check into the sections.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/Error.h"
#include "dns/DnsReply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view reply(reinterpret_cast<const char*>(data), size);
  std::uint16_t id = size >= 2 ? static_cast<std::uint16_t>(data[0] << 8 | data[1]) : 0;
  vp::TDNSHeader header;
  vp::TQueryResult result;
  try {
    vp::ParseDnsReply(reply, id, header, result);
  } catch (const vp::Error&) {
  }
  // Names may also start anywhere a record points into the reply.
  for (std::size_t offset = 0; offset < size && offset < 64; ++offset) {
    std::size_t at = offset;
    try {
      vp::ReadDnsName(reply, at);
      if (at > size) __builtin_trap();
    } catch (const vp::Error&) {
    }
  }
  return 0;
}
