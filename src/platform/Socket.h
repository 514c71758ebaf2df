// TCP and UDP sockets: one owning, move-only handle per socket, with the OS calls the listener, the
// HTTP client and the DNS client need. OS failures become vp::Error here.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vp::platform {

enum class IpFamily { kV4, kV6 };

// Large enough for SOCKET on 64-bit Windows and int on POSIX.
using NativeSocket = std::intptr_t;

// A host's addresses for TCP connections to one port, as the machine's own resolver gave them
// (hosts file included); a numeric address gives itself. Move-only.
class ResolvedHost {
 public:
  // Throws kSocket when the name does not resolve.
  static ResolvedHost Resolve(const std::string& host, std::uint16_t port);
  ~ResolvedHost();
  ResolvedHost(ResolvedHost&& other) noexcept;
  ResolvedHost& operator=(ResolvedHost&& other) noexcept;

  // The numeric addresses, in the order a connect tries them.
  std::vector<std::string> Addresses() const;

  struct List;  // the platform's own list

 private:
  friend class Socket;
  explicit ResolvedHost(std::unique_ptr<List> list);
  std::unique_ptr<List> list_;
};

class Socket {
 public:
  Socket() = default;
  ~Socket();
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  static Socket OpenTcp(IpFamily family);
  static Socket OpenUdp(IpFamily family);

  bool valid() const;
  NativeSocket native() const { return handle_; }

  // Listening side. On Windows no other program may bind the same port while we hold it; on POSIX
  // a restart may rebind over TIME_WAIT, while a port somebody listens on is still refused.
  void SetExclusiveAddressUse();
  // address "" means every local address of the socket's family. Throws ErrorKind::kBind.
  void Bind(const std::string& address, std::uint16_t port);
  void Listen(int backlog);
  // Listens with the longest queue of pending connections the system allows, so that a burst of
  // clients connecting at once waits in the queue instead of being dropped and retrying a second
  // later.
  void ListenWithSystemMaximumQueue();
  // Blocks until a peer connects. Throws kSocket, also once Interrupt() has been called. With
  // peer_address, also the peer's numeric address, taken from the accept itself.
  Socket Accept(std::string* peer_address = nullptr);
  std::uint16_t LocalPort() const;

  // Client side: resolves host with the machine's own resolver (hosts file included) unless it is
  // a numeric address, then tries each address in turn.
  static Socket ConnectTcp(const std::string& host, std::uint16_t port);
  // The same, but an attempt that has not connected within timeout_ms fails with kSocketTimeout,
  // and the whole connect fails with kCancelled as soon as abandon turns true (looked at every
  // few tens of milliseconds while an attempt is pending): a peer that never answers the
  // connect cannot hold the caller, nor a stop that waits for it.
  static Socket ConnectTcp(const std::string& host, std::uint16_t port, int timeout_ms,
                           const std::atomic<bool>& abandon);
  // The same on addresses already resolved, so that a caller can tell the two steps apart.
  static Socket ConnectTcp(const ResolvedHost& host, int timeout_ms,
                           const std::atomic<bool>& abandon);

  // Bounds each single send and receive call; 0 means no bound.
  void SetTimeouts(int receive_ms, int send_ms);

  // Returns the bytes taken, at least 1. Throws kSocketTimeout, kConnectionClosed (reset, aborted)
  // or kSocket.
  std::size_t Send(const char* data, std::size_t size);
  void SendAll(std::string_view data);
  // Returns 0 when the peer closed its side in order. Same errors as Send.
  std::size_t Receive(char* buffer, std::size_t size);
  // True when a receive would not block (data, end of stream or an error waiting); timeout_ms < 0
  // waits without limit.
  bool WaitReadable(int timeout_ms) const;

  // Datagrams (UDP): one datagram to address:port, and one datagram from anybody.
  void SendTo(const std::string& address, std::uint16_t port, std::string_view datagram);
  std::size_t ReceiveFrom(char* buffer, std::size_t size);

  // Wakes every call blocked on this socket in other threads and makes later calls fail. Safe to
  // call from another thread while the owner is inside a call; not while the owner closes it.
  void Interrupt();
  void Close();
  // Closes with a reset instead of an orderly end, as a crashed or killed peer would.
  void CloseWithReset();

 private:
  explicit Socket(NativeSocket handle) : handle_(handle) {}
  NativeSocket handle_ = kInvalid;

 public:
  static constexpr NativeSocket kInvalid = -1;
};

// Whether the network stack can open IPv6 sockets.
bool HasIPv6();

// Lets the process hold as many sockets as the system allows it, and answers how many that is
// (SIZE_MAX for no limit). A listener holds one per open connection, and POSIX systems start
// processes with a low soft limit on descriptors (often 1024) under a much higher hard one;
// Windows has no such limit.
std::size_t AllowManySockets();

// Whether a socket error's code (Error::code()) says that nothing listened at the address.
bool IsConnectionRefused(int code);

}  // namespace vp::platform
