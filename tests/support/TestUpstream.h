// A scriptable HTTP upstream on 127.0.0.1 for the client and forwarding tests. It records the exact
// bytes of every request and answers each connection from a script: whole answers, answers cut
// short, silence, a stall halfway. The transport comes from a factory, so the same upstream can
// speak TLS.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "io/IOHandler.h"
#include "platform/Socket.h"
#include "tls/SslContext.h"

namespace vp::test {

struct UpstreamReply {
  std::string bytes;                   // sent once the request has arrived whole
  bool hang = false;                   // then neither send more nor close until the peer goes
  bool answer_before_request = false;  // send (or close) at once, without reading the request
  int drip_ms = 0;                     // then one more byte every drip_ms, until the peer goes
  bool endless = false;                // then bytes without end, as fast as the peer takes them
  bool reset = false;                  // then close with a reset (RST) instead of an orderly end
  // Before the tail above: the same connection reads one more request for each entry and sends
  // it (nothing for an empty one), as a server that keeps its connections does.
  std::vector<std::string> more = {};
};

// Answer texts for the script.
std::string HttpAnswer(int code, const std::string& reason, const std::string& body,
                       const std::string& extra_headers = "");
std::string ChunkedAnswer(const std::vector<std::string>& chunks);
std::string RedirectAnswer(int code, const std::string& location);

class TestUpstream {
 public:
  // Makes the transport of an accepted connection (for TLS: runs the server handshake).
  using IOFactory = std::function<std::unique_ptr<IOHandler>(platform::Socket&)>;
  static IOFactory Plain();

  // Connection n gets replies[n]; connections past the end get the last reply again.
  explicit TestUpstream(std::vector<UpstreamReply> replies, IOFactory factory = Plain());
  ~TestUpstream();
  TestUpstream(const TestUpstream&) = delete;
  TestUpstream& operator=(const TestUpstream&) = delete;

  std::uint16_t port() const { return port_; }
  // "<scheme>://127.0.0.1:<port><path>"
  std::string Url(const std::string& path, const std::string& scheme = "http") const;

  // The bytes of each request, by connection in the order of acceptance, then in the order of
  // arrival: the head and as much of the body as its Content-Length announced (or as arrived
  // before the peer closed). A connection that received nothing counts as one empty request.
  std::vector<std::string> Requests() const;
  std::size_t Connections() const;
  // Waits at most timeout_ms until count requests have been recorded.
  bool WaitForRequests(std::size_t count, int timeout_ms = 5000) const;
  // Waits at most timeout_ms until count connections that hung, dripped or streamed without end
  // have seen their client close them (the client freed its side; Stop() does not count).
  bool WaitForClientCloses(std::size_t count, int timeout_ms = 5000) const;

  // Wakes every hanging connection, closes everything and joins the threads.
  void Stop();

 private:
  struct Connection {
    platform::Socket socket;
    std::thread thread;
  };

  void AcceptLoop();
  void Serve(Connection& connection, std::size_t index);
  std::string ReadRequest(IOHandler& io);
  void Record(std::size_t index, std::string request);
  // The tail of a reply (hang, drip, endless): runs until the client closes or Stop().
  void Linger(IOHandler& io, const UpstreamReply& reply);
  bool Stopping() const;
  void CountClientClose();
  void CloseConnection(Connection& connection, bool reset);

  std::vector<UpstreamReply> replies_;
  IOFactory factory_;
  platform::Socket listener_;
  std::uint16_t port_ = 0;
  std::thread accept_thread_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool stopping_ = false;
  std::list<Connection> connections_;
  std::vector<std::vector<std::string>> requests_;  // by connection
  std::size_t recorded_ = 0;
  std::size_t client_closes_ = 0;
};

// The upstream's TLS side, speaking TLS 1.2, from the certificate set made at build time: a
// self-signed certificate for another host name, or a certificate for 127.0.0.1 sent with the 19
// authorities above it, a chain of 20. Needs the TLS library.
class TlsUpstreamTransport {
 public:
  enum class Chain { kSelfSigned, kTwentyCertificates };

  explicit TlsUpstreamTransport(Chain chain = Chain::kSelfSigned);
  TlsUpstreamTransport(const TlsUpstreamTransport&) = delete;
  TlsUpstreamTransport& operator=(const TlsUpstreamTransport&) = delete;

  TestUpstream::IOFactory Factory();
  // Handshakes that resumed an earlier session (by ticket or session ID).
  int ResumedHandshakes() const { return resumed_->load(); }

 private:
  std::shared_ptr<SslContext> context_;
  std::shared_ptr<std::atomic<int>> resumed_ = std::make_shared<std::atomic<int>>(0);
};

}  // namespace vp::test
