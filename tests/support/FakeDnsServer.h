// An in-process DNS server on 127.0.0.1 for the resolver and discovery tests. Each query is
// answered by the next scripted step (the last step repeats), which may build a reply from the
// query, send bytes of its own, or stay silent; replies can be held back for a delay.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/Socket.h"

namespace vp::test {

// What to send back for one query; nullopt sends nothing.
using DnsStep = std::function<std::optional<std::string>(const std::string& query)>;

class FakeDnsServer {
 public:
  explicit FakeDnsServer(std::vector<DnsStep> script);
  ~FakeDnsServer();
  FakeDnsServer(const FakeDnsServer&) = delete;
  FakeDnsServer& operator=(const FakeDnsServer&) = delete;

  std::uint16_t port() const { return port_; }
  // "127.0.0.1:<port>", the form of the DNSServer setting.
  std::string address() const;
  // Every later reply leaves this long after its query came.
  void SetReplyDelayMs(int ms) { delay_ms_ = ms; }
  std::vector<std::string> Queries() const;
  std::size_t QueryCount() const;
  // Waits at most timeout_ms until count queries have arrived; false when they did not.
  bool WaitForQueries(std::size_t count, int timeout_ms) const;

 private:
  void Serve();
  void Answer(const std::string& query, std::size_t index, const std::string& address,
              std::uint16_t port);

  platform::Socket socket_;
  std::uint16_t port_ = 0;
  std::vector<DnsStep> script_;
  std::atomic<int> delay_ms_{0};
  mutable std::mutex mutex_;
  std::condition_variable stop_signal_;
  mutable std::condition_variable queried_;
  bool stop_ = false;
  std::vector<std::string> queries_;
  std::thread thread_;
};

// Wire pieces for scripted replies and hand-made fixtures.
namespace dns {

std::string U16(std::uint16_t value);
std::string U32(std::uint32_t value);
// "a.b" as 1 'a' 1 'b' 0.
std::string Name(const std::string& dotted);
// A compression pointer to offset (12 is the question name of a one-question reply).
std::string Pointer(std::uint16_t offset);
// owner, TYPE, CLASS IN, TTL 300, RDLENGTH and RDATA.
std::string Record(const std::string& owner_wire, std::uint16_t type, const std::string& rdata);
std::string ARecord(const std::string& owner_wire, const std::string& dotted_address);
// The query's name from its question.
std::string QuestionName(const std::string& query);
// A reply to query: its identifier, QR and RA set, rcode, its question echoed, then answers.
std::string ReplyTo(const std::string& query, int rcode, const std::vector<std::string>& answers);

// Steps.
DnsStep AnswerA(const std::string& dotted_address);
// Each name answered with its own address; other names with RCODE 3.
DnsStep AnswerByName(std::vector<std::pair<std::string, std::string>> addresses);
DnsStep AnswerCnameOnly();
DnsStep AnswerRcode(int rcode);
DnsStep AnswerWrongId();
DnsStep AnswerBytes(std::string bytes);
DnsStep Silence();

}  // namespace dns
}  // namespace vp::test
