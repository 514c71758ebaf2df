// Winsock for the Windows build.
#include "platform/Socket.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <set>

#include "base/Error.h"
#include "platform/win32/Handles.h"
#include "platform/win32/SystemError.h"
#include "platform/win32/win32_api.h"
// After the system headers, whose types it uses.
#include "platform/SocketAddress.h"

namespace vp::platform {
namespace {

// WSAStartup once per process, before the first socket.
void EnsureWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

SOCKET S(NativeSocket handle) { return static_cast<SOCKET>(handle); }

int FamilyOf(IpFamily family) { return family == IpFamily::kV6 ? AF_INET6 : AF_INET; }

NativeSocket OpenOrThrow(int family, int type, int protocol) {
  EnsureWinsock();
  // Overlapped, which the sockets' own calls never use, so that a listener's accepted sockets
  // (which inherit it) can be watched with an overlapped receive (SocketWatch).
  SOCKET s = ::WSASocketW(family, type, protocol, nullptr, 0,
                          WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) ThrowSocketError("socket", WSAGetLastError());
  return static_cast<NativeSocket>(s);
}

// How often a pending connect looks whether it has been abandoned.
constexpr int kConnectSliceMs = 50;

const std::atomic<bool> kNeverAbandoned{false};

// Waits for a non-blocking connect in slices; 0 once connected, else the error that ended it.
// select() rather than WSAPoll(), which does not report a refused connect on older Windows.
int FinishConnect(SOCKET s, int timeout_ms, const std::atomic<bool>& abandon) {
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
  for (;;) {
    if (abandon) throw Error(ErrorKind::kCancelled, "Connect abandoned.");
    ULONGLONG slice = kConnectSliceMs;
    if (timeout_ms > 0) {
      ULONGLONG now = ::GetTickCount64();
      if (now >= deadline) return WSAETIMEDOUT;
      if (deadline - now < slice) slice = deadline - now;
    }
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval wait{0, static_cast<long>(slice * 1000)};
    int rc = ::select(0, nullptr, &writable, &failed, &wait);
    if (rc == SOCKET_ERROR) return WSAGetLastError();
    if (rc == 0) continue;
    int error = 0;
    int len = sizeof error;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) != 0)
      return WSAGetLastError();
    if (error == 0 && FD_ISSET(s, &failed)) error = WSAECONNREFUSED;
    return error;
  }
}

// One address: a socket connected in blocking mode, or INVALID_SOCKET with the reason in error.
SOCKET ConnectAttempt(const addrinfo& ai, int timeout_ms, const std::atomic<bool>& abandon,
                      int& error) {
  UniqueSocket s(::WSASocketW(ai.ai_family, ai.ai_socktype, ai.ai_protocol, nullptr, 0,
                              WSA_FLAG_NO_HANDLE_INHERIT));
  if (!s) {
    error = WSAGetLastError();
    return INVALID_SOCKET;
  }
  u_long on = 1;
  error = ::ioctlsocket(s.get(), FIONBIO, &on) == 0 ? 0 : WSAGetLastError();
  if (error == 0 && ::connect(s.get(), ai.ai_addr, static_cast<int>(ai.ai_addrlen)) != 0) {
    error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) error = FinishConnect(s.get(), timeout_ms, abandon);
  }
  u_long off = 0;
  if (error == 0 && ::ioctlsocket(s.get(), FIONBIO, &off) != 0) error = WSAGetLastError();
  if (error != 0) return INVALID_SOCKET;
  return s.release();
}

// Sockets that Interrupt() has marked. A blocked accept() can be cancelled, but one that has not
// quite begun when Interrupt() runs would block for good (shutdown() marks nothing on a listening
// socket here, unlike POSIX), so Accept() waits in short slices and looks at the mark between
// them.
constexpr int kAcceptSliceMs = 50;
std::mutex g_interrupted_mutex;
std::set<SOCKET> g_interrupted;  // guarded by g_interrupted_mutex

bool IsInterrupted(SOCKET s) {
  std::lock_guard<std::mutex> lock(g_interrupted_mutex);
  return g_interrupted.count(s) != 0;
}

// The bound that SetTimeouts put on one direction (SO_RCVTIMEO or SO_SNDTIMEO), 0 for none.
DWORD TimeoutOf(SOCKET s, int option) {
  DWORD timeout = 0;
  int len = sizeof timeout;
  if (::getsockopt(s, SOL_SOCKET, option, reinterpret_cast<char*>(&timeout), &len) != 0) return 0;
  return timeout;
}

// Windows ends a blocking send or recv that runs past the socket's SO_SNDTIMEO or SO_RCVTIMEO,
// but Wine accepts both options and blocks regardless, so a silent peer would hold the thread
// for good. Each call therefore first waits itself, with the same bound, and fails as a timed-out
// call does.
void WaitWithinTimeout(SOCKET s, int option, SHORT events, const char* call) {
  DWORD timeout = TimeoutOf(s, option);
  if (timeout == 0) return;
  WSAPOLLFD p{s, events, 0};
  int rc = ::WSAPoll(&p, 1, static_cast<INT>(timeout));
  if (rc == SOCKET_ERROR) ThrowSocketError("WSAPoll", WSAGetLastError());
  if (rc == 0) ThrowSocketError(call, WSAETIMEDOUT);
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
  EnsureWinsock();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  std::string service = std::to_string(port);
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0)
    ThrowSocketError("getaddrinfo", WSAGetLastError());
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
  Socket s(OpenOrThrow(FamilyOf(family), SOCK_STREAM, IPPROTO_TCP));
  if (family == IpFamily::kV6) {
    DWORD on = 1;
    ::setsockopt(S(s.handle_), IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<char*>(&on), sizeof on);
  }
  return s;
}

Socket Socket::OpenUdp(IpFamily family) {
  return Socket(OpenOrThrow(FamilyOf(family), SOCK_DGRAM, IPPROTO_UDP));
}

bool Socket::valid() const { return handle_ != kInvalid; }

void Socket::SetExclusiveAddressUse() {
  // Address reuse stays off, and no other program may take over the port while we listen on it.
  BOOL on = TRUE;
  if (::setsockopt(S(handle_), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<char*>(&on),
                   sizeof on) != 0)
    ThrowSocketError("setsockopt", WSAGetLastError());
}

void Socket::Bind(const std::string& address, std::uint16_t port) {
  WSAPROTOCOL_INFOW info;
  int info_len = sizeof info;
  int family = AF_INET;
  if (::getsockopt(S(handle_), SOL_SOCKET, SO_PROTOCOL_INFOW, reinterpret_cast<char*>(&info),
                   &info_len) == 0)
    family = info.iAddressFamily;
  sockaddr_storage storage;
  int len = socket_address::Make(family, address, port, &storage);
  if (::bind(S(handle_), reinterpret_cast<sockaddr*>(&storage), len) != 0) {
    int err = WSAGetLastError();
    throw Error(ErrorKind::kBind, "bind failed", SystemErrorText(err), err);
  }
}

void Socket::Listen(int backlog) {
  if (::listen(S(handle_), backlog) != 0) ThrowSocketError("listen", WSAGetLastError());
}

void Socket::ListenWithSystemMaximumQueue() {
  // SOMAXCONN alone gives about 200 on client editions of Windows; the hint asks for up to 65535.
  // Providers that do not know the hint refuse it, and get plain SOMAXCONN instead.
  constexpr int kHintedMaximum = -65535;  // SOMAXCONN_HINT(65535)
  if (::listen(S(handle_), kHintedMaximum) == 0) return;
  Listen(SOMAXCONN);
}

Socket Socket::Accept(std::string* peer_address) {
  for (;;) {
    if (IsInterrupted(S(handle_))) ThrowSocketError("accept", WSAEINTR);
    WSAPOLLFD p{S(handle_), POLLRDNORM, 0};
    int rc = ::WSAPoll(&p, 1, kAcceptSliceMs);
    if (rc == SOCKET_ERROR) ThrowSocketError("WSAPoll", WSAGetLastError());
    if (rc > 0) break;
  }
  sockaddr_storage storage;
  int len = sizeof storage;
  SOCKET s = ::accept(S(handle_), reinterpret_cast<sockaddr*>(&storage), &len);
  if (s == INVALID_SOCKET) ThrowSocketError("accept", WSAGetLastError());
  if (peer_address) *peer_address = socket_address::Text(storage);
  return Socket(static_cast<NativeSocket>(s));
}

std::uint16_t Socket::LocalPort() const {
  sockaddr_storage storage;
  int len = sizeof storage;
  if (::getsockname(S(handle_), reinterpret_cast<sockaddr*>(&storage), &len) != 0)
    ThrowSocketError("getsockname", WSAGetLastError());
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
  int last_error = WSAECONNREFUSED;
  for (addrinfo* ai = host.list_->addresses.get(); ai; ai = ai->ai_next) {
    SOCKET s = ConnectAttempt(*ai, timeout_ms, abandon, last_error);
    if (s != INVALID_SOCKET) return Socket(static_cast<NativeSocket>(s));
  }
  ThrowSocketError("connect", last_error);
}

void Socket::SetTimeouts(int receive_ms, int send_ms) {
  DWORD rcv = static_cast<DWORD>(receive_ms), snd = static_cast<DWORD>(send_ms);
  ::setsockopt(S(handle_), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&rcv), sizeof rcv);
  ::setsockopt(S(handle_), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&snd), sizeof snd);
}

std::size_t Socket::Send(const char* data, std::size_t size) {
  WaitWithinTimeout(S(handle_), SO_SNDTIMEO, POLLWRNORM, "send");
  int n = ::send(S(handle_), data, static_cast<int>(size), 0);
  if (n == SOCKET_ERROR) ThrowSocketError("send", WSAGetLastError());
  return static_cast<std::size_t>(n);
}

void Socket::SendAll(std::string_view data) {
  while (!data.empty()) data.remove_prefix(Send(data.data(), data.size()));
}

std::size_t Socket::Receive(char* buffer, std::size_t size) {
  WaitWithinTimeout(S(handle_), SO_RCVTIMEO, POLLRDNORM, "recv");
  int n = ::recv(S(handle_), buffer, static_cast<int>(size), 0);
  if (n == SOCKET_ERROR) ThrowSocketError("recv", WSAGetLastError());
  return static_cast<std::size_t>(n);
}

bool Socket::WaitReadable(int timeout_ms) const {
  WSAPOLLFD p{S(handle_), POLLRDNORM, 0};
  int rc = ::WSAPoll(&p, 1, timeout_ms);
  if (rc == SOCKET_ERROR) ThrowSocketError("WSAPoll", WSAGetLastError());
  return rc > 0;
}

void Socket::SendTo(const std::string& address, std::uint16_t port, std::string_view datagram) {
  sockaddr_storage storage;
  int len = socket_address::Make(AF_INET, address, port, &storage);
  if (::sendto(S(handle_), datagram.data(), static_cast<int>(datagram.size()), 0,
               reinterpret_cast<sockaddr*>(&storage), len) == SOCKET_ERROR)
    ThrowSocketError("sendto", WSAGetLastError());
}

std::size_t Socket::ReceiveFrom(char* buffer, std::size_t size) {
  int n = ::recvfrom(S(handle_), buffer, static_cast<int>(size), 0, nullptr, nullptr);
  // A datagram larger than the buffer is cut, which is all a DNS client needs.
  if (n == SOCKET_ERROR) {
    int err = WSAGetLastError();
    if (err == WSAEMSGSIZE) return size;
    ThrowSocketError("recvfrom", err);
  }
  return static_cast<std::size_t>(n);
}

void Socket::Interrupt() {
  if (handle_ == kInvalid) return;
  {
    std::lock_guard<std::mutex> lock(g_interrupted_mutex);
    g_interrupted.insert(S(handle_));
  }
  // shutdown() ends a blocked recv on a connected socket; CancelIoEx also ends a blocked accept,
  // which shutdown() does not reach on Windows.
  ::shutdown(S(handle_), SD_BOTH);
  ::CancelIoEx(reinterpret_cast<HANDLE>(S(handle_)), nullptr);
}

void Socket::Close() {
  if (handle_ == kInvalid) return;
  {
    // Before the handle is closed: the system may hand its value to the next new socket.
    std::lock_guard<std::mutex> lock(g_interrupted_mutex);
    g_interrupted.erase(S(handle_));
  }
  ::closesocket(S(handle_));
  handle_ = kInvalid;
}

bool HasIPv6() {
  EnsureWinsock();
  UniqueSocket probe(::socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP));
  return static_cast<bool>(probe);
}

void Socket::CloseWithReset() {
  if (handle_ == kInvalid) return;
  // A zero linger time makes closesocket() drop what is unsent and send RST instead of FIN.
  linger abort{1, 0};
  ::setsockopt(S(handle_), SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&abort), sizeof abort);
  Close();
}

std::size_t AllowManySockets() {
  // Winsock sockets are not C runtime descriptors and have no per-process limit to raise.
  return SIZE_MAX;
}

bool IsConnectionRefused(int code) { return code == WSAECONNREFUSED; }

}  // namespace vp::platform
