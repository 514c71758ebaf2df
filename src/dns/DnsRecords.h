// What a DNS exchange carries: the record types, the 12-byte header, and the records of a reply
// (RFC 1035 section 4.1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vp {

// The record types a query may ask for, in this order; the wire code of each is WireTypeOf.
enum class TQueryRecordType {
  qtA,
  qtNS,
  qtMD,
  qtMF,
  qtName,  // CNAME
  qtSOA,
  qtMB,
  qtMG,
  qtMR,
  qtNull,
  qtWKS,
  qtPTR,
  qtHINFO,
  qtMINFO,
  qtMX,
  qtTXT,
  qtRT,
  qtNSAP,
  qtNSAP_PTR,
  qtSIG,
  qtAAAA,
  qtService,  // SRV
  qtNAPTR,
  qtCERT,
  qtV6Addr,  // A6
  qtDName,
  qtR40,       // SINK, type 40
  qtOptional,  // OPT
  qtIXFR,
  qtAXFR,
  qtSTAR,  // "*": any type
};

inline constexpr int kQueryRecordTypeCount = 31;

std::uint16_t WireTypeOf(TQueryRecordType type);
// The member whose wire code is code, if any.
std::optional<TQueryRecordType> RecordTypeOfWire(std::uint16_t code);

// A set of record types.
class TQueryType {
 public:
  TQueryType() = default;
  TQueryType(std::initializer_list<TQueryRecordType> members) {
    for (TQueryRecordType m : members) Include(m);
  }
  void Include(TQueryRecordType m) { bits_ |= Bit(m); }
  void Exclude(TQueryRecordType m) { bits_ &= ~Bit(m); }
  bool Contains(TQueryRecordType m) const { return (bits_ & Bit(m)) != 0; }
  bool Empty() const { return bits_ == 0; }
  friend bool operator==(TQueryType, TQueryType) = default;

 private:
  static std::uint32_t Bit(TQueryRecordType m) { return std::uint32_t{1} << static_cast<int>(m); }
  std::uint32_t bits_ = 0;
};

inline constexpr std::uint16_t kDnsClassIN = 1;
inline constexpr std::size_t kDnsHeaderSize = 12;

struct TDNSHeader {
  std::uint16_t ID = 0;
  std::uint16_t Flags = 0;
  std::uint16_t QDCount = 0;
  std::uint16_t ANCount = 0;
  std::uint16_t NSCount = 0;
  std::uint16_t ARCount = 0;

  bool QR() const { return (Flags >> 15) & 1; }
  int Opcode() const { return (Flags >> 11) & 0xF; }
  bool AA() const { return (Flags >> 10) & 1; }
  bool TC() const { return (Flags >> 9) & 1; }
  bool RD() const { return (Flags >> 8) & 1; }
  bool RA() const { return (Flags >> 7) & 1; }
  int RCode() const { return Flags & 0xF; }
};

inline constexpr std::uint16_t kDnsFlagRD = 1 << 8;

class TResultRecord {
 public:
  virtual ~TResultRecord() = default;

  std::optional<TQueryRecordType> RecType;  // absent for a wire type outside the enumeration
  std::uint16_t TypeCode = 0;               // the wire TYPE
  std::uint16_t RecClass = 0;
  std::string Name;  // owner name, without the trailing dot
  std::uint32_t TTL = 0;
  std::uint16_t RDataLength = 0;
  std::string RData;
};

class TARecord : public TResultRecord {
 public:
  std::string IPAddress;  // dotted decimal; empty when the RDATA is shorter than four bytes
};

struct TDNSQuestion {
  std::string Name;
  std::uint16_t Type = 0;
  std::uint16_t Class = 0;
};

// The records of a reply, answer, authority and additional sections in reply order.
class TQueryResult {
 public:
  std::size_t Count() const { return records_.size(); }
  const TResultRecord& operator[](std::size_t index) const { return *records_.at(index); }
  void Add(std::unique_ptr<TResultRecord> record) { records_.push_back(std::move(record)); }
  void Clear() {
    records_.clear();
    Question.reset();
  }

  // The echoed question, when the reply carried exactly one.
  std::optional<TDNSQuestion> Question;

 private:
  std::vector<std::unique_ptr<TResultRecord>> records_;
};

}  // namespace vp
