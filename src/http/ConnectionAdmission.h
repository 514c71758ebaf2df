// Who may open another connection to the listener. The tills run on the listener's own machine
// and connect over loopback; peers elsewhere on the network reach the port too, and must never
// take the room a till needs. Connections from elsewhere are limited per address and all together
// to a share of the open connections; the rest is loopback's alone.
#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <string>

namespace vp {

// Open connections from one address other than loopback: far more than any real client needs,
// far fewer than a flood from one address would take.
inline constexpr std::size_t kConnectionsPerRemoteAddress = 64;
// Open connections from every address other than loopback together. Each may hold a connection
// thread while it sends its request, for at most kClientTimeoutMs: this keeps most of the
// listener's threads (kConnectionThreads) for the tills, whatever a crowd elsewhere does.
inline constexpr std::size_t kRemoteConnections = 256;
// Open connections in all, loopback's included. A connection that has sent nothing yet holds no
// thread, only its socket.
inline constexpr std::size_t kOpenConnections = 10000;

struct AdmissionLimits {
  std::size_t per_remote_address = kConnectionsPerRemoteAddress;
  std::size_t remote = kRemoteConnections;
  std::size_t open = kOpenConnections;
};

// Whether a peer's numeric address is this machine's loopback (127.0.0.0/8 or ::1).
bool IsLoopbackAddress(const std::string& address);

class ConnectionAdmission {
 public:
  // An admitted connection's place, given back when the ticket goes; an empty ticket turns the
  // connection away.
  class Ticket {
   public:
    Ticket() = default;
    ~Ticket();
    Ticket(Ticket&& other) noexcept;
    Ticket& operator=(Ticket&& other) noexcept;
    Ticket(const Ticket&) = delete;
    Ticket& operator=(const Ticket&) = delete;
    explicit operator bool() const { return admission_ != nullptr; }

   private:
    friend class ConnectionAdmission;
    Ticket(ConnectionAdmission* admission, std::string remote)
        : admission_(admission), remote_(std::move(remote)) {}
    void Release();

    ConnectionAdmission* admission_ = nullptr;
    std::string remote_;  // the address, or "" for loopback
  };

  ConnectionAdmission() = default;
  ConnectionAdmission(const ConnectionAdmission&) = delete;
  ConnectionAdmission& operator=(const ConnectionAdmission&) = delete;

  // A place for a connection from address when the limits leave one. Thread-safe.
  Ticket Admit(const std::string& address, const AdmissionLimits& limits);

 private:
  std::mutex mutex_;
  std::size_t open_ = 0;                            // guarded
  std::size_t remote_ = 0;                          // guarded
  std::map<std::string, std::size_t> per_address_;  // guarded; remote addresses only
};

}  // namespace vp
