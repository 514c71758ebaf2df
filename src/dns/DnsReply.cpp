// Reply checks in the order the resolver reports them: size, identifier, response code, then the
// sections. Every read is bounded by the reply, every pointer chain by kMaxDnsNamePointers.
#include "dns/DnsReply.h"

#include <memory>

#include "base/Error.h"

namespace vp {
namespace {

constexpr std::uint8_t kPointerMark = 0xC0;
constexpr std::size_t kRecordFixedSize = 10;   // TYPE, CLASS, TTL, RDLENGTH
constexpr std::size_t kQuestionFixedSize = 4;  // QTYPE, QCLASS
constexpr std::uint16_t kWireTypeA = 1;

[[noreturn]] void MalformedName(const std::string& why, std::size_t at) {
  throw Error(ErrorKind::kDns, kMsgDnsMalformedName, why + " at offset " + std::to_string(at));
}

[[noreturn]] void MalformedRecord(const std::string& why, std::size_t at) {
  throw Error(ErrorKind::kDns, kMsgDnsMalformedRecord, why + " at offset " + std::to_string(at));
}

std::uint8_t ByteAt(std::string_view reply, std::size_t at) {
  return static_cast<std::uint8_t>(reply[at]);
}

// Callers have checked that two (or four) bytes are there.
std::uint16_t U16At(std::string_view reply, std::size_t at) {
  return static_cast<std::uint16_t>(ByteAt(reply, at) << 8 | ByteAt(reply, at + 1));
}

std::uint32_t U32At(std::string_view reply, std::size_t at) {
  return std::uint32_t{U16At(reply, at)} << 16 | U16At(reply, at + 2);
}

TDNSHeader ReadHeader(std::string_view reply) {
  TDNSHeader header;
  header.ID = U16At(reply, 0);
  header.Flags = U16At(reply, 2);
  header.QDCount = U16At(reply, 4);
  header.ANCount = U16At(reply, 6);
  header.NSCount = U16At(reply, 8);
  header.ARCount = U16At(reply, 10);
  return header;
}

void CheckResponseCode(int rcode) {
  const char* message = nullptr;
  switch (rcode) {
    case 0:
      return;
    case 1:
      message = kMsgDnsFormatError;
      break;
    case 2:
      message = kMsgDnsServerFailure;
      break;
    case 3:
      message = kMsgDnsNameError;
      break;
    case 4:
      message = kMsgDnsNotImplemented;
      break;
    case 5:
      message = kMsgDnsRefused;
      break;
    default:
      message = kMsgDnsUnknownResponseCode;
      break;
  }
  throw Error(ErrorKind::kDns, message, "RCODE " + std::to_string(rcode), rcode);
}

// A reply may echo more than the one question we sent; only a lone one is kept, but every one is
// skipped so that the records are read from where they start.
void ReadQuestions(std::string_view reply, std::uint16_t count, std::size_t& pos,
                   TQueryResult& result) {
  for (std::uint16_t i = 0; i < count; ++i) {
    TDNSQuestion question;
    question.Name = ReadDnsName(reply, pos);
    if (reply.size() - pos < kQuestionFixedSize) MalformedRecord("question cut off", pos);
    question.Type = U16At(reply, pos);
    question.Class = U16At(reply, pos + 2);
    pos += kQuestionFixedSize;
    if (count == 1) result.Question = std::move(question);
  }
}

std::string DottedAddress(std::string_view rdata) {
  std::string text;
  for (std::size_t i = 0; i < 4; ++i) {
    if (i > 0) text += '.';
    text += std::to_string(ByteAt(rdata, i));
  }
  return text;
}

std::unique_ptr<TResultRecord> ReadRecord(std::string_view reply, std::size_t& pos) {
  std::string name = ReadDnsName(reply, pos);
  if (reply.size() - pos < kRecordFixedSize) MalformedRecord("record header cut off", pos);
  std::uint16_t type = U16At(reply, pos);
  std::unique_ptr<TResultRecord> record;
  if (type == kWireTypeA)
    record = std::make_unique<TARecord>();
  else
    record = std::make_unique<TResultRecord>();
  record->Name = std::move(name);
  record->TypeCode = type;
  record->RecType = RecordTypeOfWire(type);
  record->RecClass = U16At(reply, pos + 2);
  record->TTL = U32At(reply, pos + 4);
  record->RDataLength = U16At(reply, pos + 8);
  pos += kRecordFixedSize;
  if (reply.size() - pos < record->RDataLength) MalformedRecord("RDATA runs past the end", pos);
  record->RData = std::string(reply.substr(pos, record->RDataLength));
  pos += record->RDataLength;
  if (type == kWireTypeA && record->RData.size() >= 4)
    static_cast<TARecord&>(*record).IPAddress = DottedAddress(record->RData);
  return record;
}

}  // namespace

std::string ReadDnsName(std::string_view reply, std::size_t& offset) {
  std::string name;
  std::size_t pos = offset;
  std::size_t resume = 0;  // where the caller goes on once a pointer was followed; 0: none yet
  int pointers = 0;
  std::size_t wire_length = 1;  // the closing zero byte
  for (;;) {
    if (pos >= reply.size()) MalformedName("name runs past the end", pos);
    std::uint8_t length = ByteAt(reply, pos);
    if (length == 0) {
      ++pos;
      break;
    }
    if (length >= kPointerMark) {
      if (pos + 1 >= reply.size()) MalformedName("pointer cut off", pos);
      std::size_t target = std::size_t{length & 0x3Fu} << 8 | ByteAt(reply, pos + 1);
      if (target >= reply.size()) MalformedName("pointer past the end", pos);
      if (++pointers > kMaxDnsNamePointers) MalformedName("pointer chain too long", pos);
      if (resume == 0) resume = pos + 2;
      pos = target;
      continue;
    }
    // 64 to 191 are the reserved label types of RFC 6891, never a plain label.
    if (length > kMaxDnsLabelLength) MalformedName("label type reserved", pos);
    if (reply.size() - pos - 1 < length) MalformedName("label runs past the end", pos);
    wire_length += length + 1u;
    if (wire_length > kMaxDnsNameLength) MalformedName("name too long", pos);
    name.append(reply.substr(pos + 1, length));
    name += '.';
    pos += 1u + length;
  }
  if (!name.empty()) name.pop_back();
  offset = resume != 0 ? resume : pos;
  return name;
}

void ParseDnsReply(std::string_view reply, std::uint16_t expected_id, TDNSHeader& header,
                   TQueryResult& result) {
  if (reply.size() < kDnsHeaderSize)
    throw Error(ErrorKind::kDns, kMsgDnsPacketTooSmall, std::to_string(reply.size()) + " bytes");
  std::uint16_t id = U16At(reply, 0);
  if (id != expected_id)
    throw Error(ErrorKind::kDns, kMsgDnsInvalidIdentifier,
                "expected " + std::to_string(expected_id) + ", got " + std::to_string(id));
  header = ReadHeader(reply);
  CheckResponseCode(header.RCode());
  result.Clear();
  int records = header.ANCount + header.NSCount + header.ARCount;
  if (records > 0 && reply.size() > kDnsHeaderSize) {
    std::size_t pos = kDnsHeaderSize;
    ReadQuestions(reply, header.QDCount, pos, result);
    // Each record takes at least 11 bytes, so a reply bounds how many are made.
    for (int i = 0; i < records; ++i) result.Add(ReadRecord(reply, pos));
  }
  if (result.Count() == 0) throw Error(ErrorKind::kDns, kMsgDnsNoRecords);
}

}  // namespace vp
