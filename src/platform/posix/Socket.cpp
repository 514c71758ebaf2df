// Berkeley sockets for the POSIX build.
#include "platform/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>

#include "base/Error.h"
#include "platform/SocketAddress.h"
#include "platform/posix/Handles.h"
#include "platform/posix/SystemError.h"

namespace vp::platform {
namespace {

int Fd(NativeSocket handle) { return static_cast<int>(handle); }

int FamilyOf(IpFamily family) { return family == IpFamily::kV6 ? AF_INET6 : AF_INET; }

NativeSocket OpenOrThrow(int family, int type) {
  int fd = ::socket(family, type | SOCK_CLOEXEC, 0);
  if (fd < 0) ThrowSocketError("socket", errno);
  return fd;
}

// How often a pending connect looks whether it has been abandoned.
constexpr int kConnectSliceMs = 50;

const std::atomic<bool> kNeverAbandoned{false};

// Waits for a non-blocking connect in slices; 0 once connected, else the errno that ended it.
int FinishConnect(int fd, int timeout_ms, const std::atomic<bool>& abandon) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (abandon) throw Error(ErrorKind::kCancelled, "Connect abandoned.");
    int slice = kConnectSliceMs;
    if (timeout_ms > 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return ETIMEDOUT;
      slice = static_cast<int>(std::min<long long>(slice, left.count()));
    }
    pollfd p{fd, POLLOUT, 0};
    int rc = ::poll(&p, 1, slice);
    if (rc < 0 && errno != EINTR) return errno;
    if (rc <= 0) continue;
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) return errno;
    return error;
  }
}

// One address: a descriptor connected in blocking mode, or -1 with the reason in error.
int ConnectAttempt(const addrinfo& ai, int timeout_ms, const std::atomic<bool>& abandon,
                   int& error) {
  // Opened non-blocking, so that the connect can be bounded and abandoned.
  UniqueFd fd(
      ::socket(ai.ai_family, ai.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai.ai_protocol));
  if (!fd) {
    error = errno;
    return -1;
  }
  error = 0;
  if (::connect(fd.get(), ai.ai_addr, ai.ai_addrlen) != 0) {
    error = errno;
    if (error == EINPROGRESS || error == EINTR)
      error = FinishConnect(fd.get(), timeout_ms, abandon);
  }
  // Blocking again once connected; a new socket has no other status flag to keep.
  if (error == 0 && ::fcntl(fd.get(), F_SETFL, 0) != 0) error = errno;
  if (error != 0) return -1;
  return fd.release();
}

}  // namespace

struct ResolvedHost::List {
  UniqueAddressList addresses;
};

ResolvedHost::ResolvedHost(std::unique_ptr<List> list) : list_(std::move(list)) {}
ResolvedHost::~ResolvedHost() = default;
ResolvedHost::ResolvedHost(ResolvedHost&& other) noexcept = default;
ResolvedHost& ResolvedHost::operator=(ResolvedHost&& other) noexcept = default;

ResolvedHost ResolvedHost::Resolve(const std::string& host, std::uint16_t port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  std::string service = std::to_string(port);
  int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
  if (rc != 0) {
    throw Error(ErrorKind::kSocket, "Socket Error # 11001\nHost not found.",
                "getaddrinfo(" + host + "): " + gai_strerror(rc));
  }
  auto resolved = std::make_unique<List>();
  resolved->addresses.reset(list);
  return ResolvedHost(std::move(resolved));
}

std::vector<std::string> ResolvedHost::Addresses() const {
  std::vector<std::string> texts;
  for (addrinfo* ai = list_->addresses.get(); ai; ai = ai->ai_next) {
    sockaddr_storage storage{};
    std::memcpy(&storage, ai->ai_addr, std::min<std::size_t>(ai->ai_addrlen, sizeof storage));
    texts.push_back(socket_address::Text(storage));
  }
  return texts;
}

Socket::~Socket() { Close(); }

Socket::Socket(Socket&& other) noexcept : handle_(other.handle_) { other.handle_ = kInvalid; }

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = kInvalid;
  }
  return *this;
}

Socket Socket::OpenTcp(IpFamily family) {
  Socket s(OpenOrThrow(FamilyOf(family), SOCK_STREAM));
  if (family == IpFamily::kV6) {
    // The IPv4 binding is a socket of its own, so this one must not take the v4-mapped range.
    int on = 1;
    ::setsockopt(Fd(s.handle_), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
  }
  return s;
}

Socket Socket::OpenUdp(IpFamily family) {
  return Socket(OpenOrThrow(FamilyOf(family), SOCK_DGRAM));
}

bool Socket::valid() const { return handle_ != kInvalid; }

void Socket::SetExclusiveAddressUse() {
  // SO_REUSEADDR on Linux only lets a restart rebind over connections in TIME_WAIT; it never lets
  // two listeners share a port.
  int on = 1;
  if (::setsockopt(Fd(handle_), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
    ThrowSocketError("setsockopt", errno);
}

void Socket::Bind(const std::string& address, std::uint16_t port) {
  sockaddr_storage storage;
  int family = AF_INET;
  {
    sockaddr_storage own;
    socklen_t len = sizeof own;
    if (::getsockname(Fd(handle_), reinterpret_cast<sockaddr*>(&own), &len) == 0)
      family = own.ss_family;
  }
  auto len = static_cast<socklen_t>(socket_address::Make(family, address, port, &storage));
  if (::bind(Fd(handle_), reinterpret_cast<sockaddr*>(&storage), len) != 0) {
    int err = errno;
    throw Error(ErrorKind::kBind, "bind failed", SystemErrorText(err), err);
  }
}

void Socket::Listen(int backlog) {
  if (::listen(Fd(handle_), backlog) != 0) ThrowSocketError("listen", errno);
}

void Socket::ListenWithSystemMaximumQueue() {
  // POSIX caps a larger backlog at the system's maximum (net.core.somaxconn on Linux, which an
  // administrator may have raised above SOMAXCONN).
  Listen(INT_MAX);
}

Socket Socket::Accept(std::string* peer_address) {
  for (;;) {
    sockaddr_storage storage;
    socklen_t len = sizeof storage;
    int fd = ::accept4(Fd(handle_), reinterpret_cast<sockaddr*>(&storage), &len, SOCK_CLOEXEC);
    if (fd >= 0) {
      if (peer_address) *peer_address = socket_address::Text(storage);
      return Socket(fd);
    }
    if (errno != EINTR) ThrowSocketError("accept", errno);
  }
}

std::uint16_t Socket::LocalPort() const {
  sockaddr_storage storage;
  socklen_t len = sizeof storage;
  if (::getsockname(Fd(handle_), reinterpret_cast<sockaddr*>(&storage), &len) != 0)
    ThrowSocketError("getsockname", errno);
  return socket_address::Port(storage);
}

Socket Socket::ConnectTcp(const std::string& host, std::uint16_t port) {
  return ConnectTcp(host, port, 0, kNeverAbandoned);
}

Socket Socket::ConnectTcp(const std::string& host, std::uint16_t port, int timeout_ms,
                          const std::atomic<bool>& abandon) {
  return ConnectTcp(ResolvedHost::Resolve(host, port), timeout_ms, abandon);
}

Socket Socket::ConnectTcp(const ResolvedHost& host, int timeout_ms,
                          const std::atomic<bool>& abandon) {
  int last_error = ECONNREFUSED;
  for (addrinfo* ai = host.list_->addresses.get(); ai; ai = ai->ai_next) {
    int fd = ConnectAttempt(*ai, timeout_ms, abandon, last_error);
    if (fd >= 0) return Socket(fd);
  }
  ThrowSocketError("connect", last_error);
}

void Socket::SetTimeouts(int receive_ms, int send_ms) {
  timeval rcv{receive_ms / 1000, (receive_ms % 1000) * 1000};
  timeval snd{send_ms / 1000, (send_ms % 1000) * 1000};
  ::setsockopt(Fd(handle_), SOL_SOCKET, SO_RCVTIMEO, &rcv, sizeof rcv);
  ::setsockopt(Fd(handle_), SOL_SOCKET, SO_SNDTIMEO, &snd, sizeof snd);
}

std::size_t Socket::Send(const char* data, std::size_t size) {
  for (;;) {
    ssize_t n = ::send(Fd(handle_), data, size, MSG_NOSIGNAL);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) ThrowSocketError("send", errno);
  }
}

void Socket::SendAll(std::string_view data) {
  while (!data.empty()) data.remove_prefix(Send(data.data(), data.size()));
}

std::size_t Socket::Receive(char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = ::recv(Fd(handle_), buffer, size, 0);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) ThrowSocketError("recv", errno);
  }
}

bool Socket::WaitReadable(int timeout_ms) const {
  pollfd p{Fd(handle_), POLLIN, 0};
  for (;;) {
    int rc = ::poll(&p, 1, timeout_ms);
    if (rc > 0) return true;
    if (rc == 0) return false;
    if (errno != EINTR) ThrowSocketError("poll", errno);
  }
}

void Socket::SendTo(const std::string& address, std::uint16_t port, std::string_view datagram) {
  sockaddr_storage storage;
  auto len = static_cast<socklen_t>(socket_address::Make(AF_INET, address, port, &storage));
  ssize_t n = ::sendto(Fd(handle_), datagram.data(), datagram.size(), 0,
                       reinterpret_cast<sockaddr*>(&storage), len);
  if (n < 0) ThrowSocketError("sendto", errno);
}

std::size_t Socket::ReceiveFrom(char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = ::recvfrom(Fd(handle_), buffer, size, 0, nullptr, nullptr);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) ThrowSocketError("recvfrom", errno);
  }
}

void Socket::Interrupt() {
  // shutdown() wakes accept(), recv() and poll() blocked in other threads, while the descriptor
  // stays ours: closing it here could hand the number to another socket mid-call.
  if (handle_ != kInvalid) ::shutdown(Fd(handle_), SHUT_RDWR);
}

void Socket::Close() {
  if (handle_ == kInvalid) return;
  ::close(Fd(handle_));
  handle_ = kInvalid;
}

void Socket::CloseWithReset() {
  if (handle_ == kInvalid) return;
  // A zero linger time makes close() drop what is unsent and send RST instead of FIN.
  linger abort{1, 0};
  ::setsockopt(Fd(handle_), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  Close();
}

bool HasIPv6() {
  UniqueFd probe(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
  return static_cast<bool>(probe);
}

std::size_t AllowManySockets() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return SIZE_MAX;
  if (limit.rlim_cur < limit.rlim_max) {
    rlim_t old = limit.rlim_cur;
    limit.rlim_cur = limit.rlim_max;
    // Best effort: the old limit still works.
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) limit.rlim_cur = old;
  }
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= SIZE_MAX) return SIZE_MAX;
  return static_cast<std::size_t>(limit.rlim_cur);
}

bool IsConnectionRefused(int code) { return code == ECONNREFUSED; }

}  // namespace vp::platform
