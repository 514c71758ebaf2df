// The fake DNS server's loop and its reply builders.
#include "support/FakeDnsServer.h"

#include <algorithm>
#include <chrono>
#include <exception>

#include "dns/DnsReply.h"
#include "platform/DatagramSource.h"

namespace vp::test {
namespace {

constexpr int kPollMs = 20;
constexpr std::size_t kBufferSize = 8192;

}  // namespace

FakeDnsServer::FakeDnsServer(std::vector<DnsStep> script)
    : socket_(platform::Socket::OpenUdp(platform::IpFamily::kV4)), script_(std::move(script)) {
  socket_.Bind("127.0.0.1", 0);
  port_ = socket_.LocalPort();
  thread_ = std::thread([this] { Serve(); });
}

FakeDnsServer::~FakeDnsServer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  stop_signal_.notify_all();
  thread_.join();
}

std::string FakeDnsServer::address() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<std::string> FakeDnsServer::Queries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queries_;
}

std::size_t FakeDnsServer::QueryCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queries_.size();
}

bool FakeDnsServer::WaitForQueries(std::size_t count, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return queried_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [&] { return queries_.size() >= count; });
}

void FakeDnsServer::Serve() {
  std::string buffer(kBufferSize, '\0');
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stop_) return;
    }
    if (!socket_.WaitReadable(kPollMs)) continue;
    platform::DatagramSource source;
    std::size_t n = platform::ReceiveFromWithSource(socket_, buffer.data(), buffer.size(), source);
    std::string query = buffer.substr(0, n);
    std::size_t index;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      index = queries_.size();
      queries_.push_back(query);
    }
    queried_.notify_all();
    try {
      Answer(query, index, source.address, source.port);
    } catch (const std::exception&) {
      // A query the script cannot read goes unanswered, as with a real server.
    }
  }
}

void FakeDnsServer::Answer(const std::string& query, std::size_t index, const std::string& address,
                           std::uint16_t port) {
  if (script_.empty()) return;
  std::optional<std::string> reply = script_[std::min(index, script_.size() - 1)](query);
  if (!reply) return;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (stop_signal_.wait_for(lock, std::chrono::milliseconds(delay_ms_.load()),
                              [this] { return stop_; }))
      return;
  }
  socket_.SendTo(address, port, *reply);
}

namespace dns {

std::string U16(std::uint16_t value) {
  return {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
}

std::string U32(std::uint32_t value) {
  return U16(static_cast<std::uint16_t>(value >> 16)) +
         U16(static_cast<std::uint16_t>(value & 0xFFFF));
}

std::string Name(const std::string& dotted) {
  std::string wire;
  std::size_t start = 0;
  while (start < dotted.size()) {
    std::size_t dot = dotted.find('.', start);
    if (dot == std::string::npos) dot = dotted.size();
    wire += static_cast<char>(dot - start);
    wire += dotted.substr(start, dot - start);
    start = dot + 1;
  }
  return wire + '\0';
}

std::string Pointer(std::uint16_t offset) {
  return U16(static_cast<std::uint16_t>(0xC000 | offset));
}

std::string Record(const std::string& owner_wire, std::uint16_t type, const std::string& rdata) {
  return owner_wire + U16(type) + U16(1) + U32(300) +
         U16(static_cast<std::uint16_t>(rdata.size())) + rdata;
}

std::string ARecord(const std::string& owner_wire, const std::string& dotted_address) {
  std::string rdata;
  std::size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    std::size_t dot = dotted_address.find('.', start);
    rdata += static_cast<char>(std::stoi(dotted_address.substr(start, dot - start)));
    start = dot + 1;
  }
  return Record(owner_wire, 1, rdata);
}

std::string QuestionName(const std::string& query) {
  std::size_t offset = kDnsHeaderSize;
  return ReadDnsName(query, offset);
}

std::string ReplyTo(const std::string& query, int rcode, const std::vector<std::string>& answers) {
  std::string reply = query.substr(0, 2);                            // the query's ID
  reply += U16(static_cast<std::uint16_t>(0x8180 | (rcode & 0xF)));  // QR, RD, RA, RCODE
  reply += U16(1);                                                   // QDCOUNT
  reply += U16(static_cast<std::uint16_t>(answers.size()));          // ANCOUNT
  reply += U16(0) + U16(0);                                          // NSCOUNT, ARCOUNT
  reply += query.substr(kDnsHeaderSize);                             // the question echoed
  for (const std::string& answer : answers) reply += answer;
  return reply;
}

DnsStep AnswerA(const std::string& dotted_address) {
  return [dotted_address](const std::string& query) {
    return ReplyTo(query, 0, {ARecord(Pointer(12), dotted_address)});
  };
}

DnsStep AnswerByName(std::vector<std::pair<std::string, std::string>> addresses) {
  return [addresses](const std::string& query) {
    std::string name = QuestionName(query);
    for (const auto& [host, address] : addresses)
      if (host == name) return ReplyTo(query, 0, {ARecord(Pointer(12), address)});
    return ReplyTo(query, 3, {});
  };
}

DnsStep AnswerCnameOnly() {
  return [](const std::string& query) {
    return ReplyTo(query, 0, {Record(Pointer(12), 5, Name("canonical.example"))});
  };
}

DnsStep AnswerRcode(int rcode) {
  return [rcode](const std::string& query) { return ReplyTo(query, rcode, {}); };
}

DnsStep AnswerWrongId() {
  return [](const std::string& query) {
    std::string reply = ReplyTo(query, 0, {ARecord(Pointer(12), "10.9.9.9")});
    reply[1] = static_cast<char>(reply[1] ^ 1);
    return reply;
  };
}

DnsStep AnswerBytes(std::string bytes) {
  return [bytes](const std::string&) { return bytes; };
}

DnsStep Silence() {
  return [](const std::string&) { return std::optional<std::string>(); };
}

}  // namespace dns
}  // namespace vp::test
