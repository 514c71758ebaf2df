// Wire codes of the record types (RFC 1035, 1183, 1706, 2535, 3596, 2782, 3403, 4398, 2874, 6672,
// 6891, 1995, 5936).
#include "dns/DnsRecords.h"

#include <array>

namespace vp {
namespace {

constexpr std::array<std::uint16_t, kQueryRecordTypeCount> kWireTypes = {
    1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,  14,  15,  16,
    21, 22, 23, 24, 28, 33, 35, 37, 38, 39, 40, 41, 251, 252, 255,
};

}  // namespace

std::uint16_t WireTypeOf(TQueryRecordType type) { return kWireTypes[static_cast<int>(type)]; }

std::optional<TQueryRecordType> RecordTypeOfWire(std::uint16_t code) {
  for (int i = 0; i < kQueryRecordTypeCount; ++i)
    if (kWireTypes[i] == code) return static_cast<TQueryRecordType>(i);
  return std::nullopt;
}

}  // namespace vp
