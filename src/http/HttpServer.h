// The HTTP/1.1 listener: one listening thread per binding, one thread that watches the connections
// that have not sent anything yet, a thread for each connection being served, one request per
// connection, answered by a single handler.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "http/ConnectionAdmission.h"
#include "http/HttpRecords.h"
#include "io/IOHandler.h"
#include "io/ServerIOHandler.h"
#include "platform/Socket.h"
#include "platform/SocketWatch.h"
#include "platform/Thread.h"

namespace vp {

inline constexpr const char* kMsgCouldNotBind =
    "Could not bind socket. Address and port are already in use.";

// The time a client has, from the moment it connects, to deliver its whole request (the TLS
// handshake included), and again, once the handler has returned, to take in the whole answer. A
// client that is slower, or that sends nothing at all, is dropped without an answer, so that it
// cannot hold a connection thread for ever. A till sends a few kilobytes and needs milliseconds;
// 30 s is the bound on each socket call of the TLS handshake and of the upstream side.
inline constexpr int kClientTimeoutMs = 30000;

// Connections served at once, each on a thread of its own; the rest wait their turn. A thread of
// the 32-bit program under Wine was measured to take about 1.1 MB of address space whatever its
// stack (Wine's own per-thread memory), and the program then crashed near 1950 threads in its
// 4 GB. Peers elsewhere hold at most kRemoteConnections of these; the rest stay for the tills.
inline constexpr unsigned kConnectionThreads = 768;

// The listener's bounds; the defaults are the program's, tests shorten them. Set while stopped.
struct TIdServerLimits {
  int client_timeout_ms = kClientTimeoutMs;
  // Connections served at once before the rest wait their turn; 0: a few per processor.
  unsigned busy_connections = 0;
  // A connection served this long waits on a peer (a slow till, a slow upstream), not on the
  // processors, and no longer counts. One that has waited its turn this long is served whatever
  // the count: a crowd of peers that came first and then stalled mid-request costs the tills
  // behind it no more than this. (Peers that send nothing never join the line.)
  int slow_connection_ms = 250;
  unsigned connection_threads = kConnectionThreads;
  AdmissionLimits admission;
};

struct TIdSocketHandle {
  std::string IP;  // "" for every local address of the family
  std::uint16_t Port = 0;
  platform::IpFamily IPVersion = platform::IpFamily::kV4;
};

class TIdHTTPServer {
 public:
  TIdHTTPServer();
  ~TIdHTTPServer();
  TIdHTTPServer(const TIdHTTPServer&) = delete;
  TIdHTTPServer& operator=(const TIdHTTPServer&) = delete;

  std::uint16_t DefaultPort = 80;
  TIdHTTPCommandEvent OnCommandGet;
  TIdHTTPCommandEvent OnCommandOther;
  int MaximumHeaderLineCount = 1024;
  // Empty: every IPv4 address, and every IPv6 address where the machine has IPv6, on DefaultPort.
  std::vector<TIdSocketHandle> Bindings;

  // Attach or detach (nullptr) the transport; only while stopped. Not owned.
  void SetIOHandler(TIdServerIOHandler* handler) { io_handler_ = handler; }
  TIdServerIOHandler* IOHandler() const { return io_handler_; }

  // Starting throws the start error and leaves the listener stopped; stopping closes every
  // connection and waits until each connection thread has ended.
  void SetActive(bool active);
  bool Active() const { return active_.load(); }

  // The port the first listening socket is bound to (the real one when 0 was asked for).
  std::uint16_t BoundPort() const;

  TIdServerLimits Limits;

  // The next count connection threads fail to start, as when the system has no room for another.
  void FailThreadStartsForTesting(int count) { thread_start_failures_ = count; }

 private:
  struct Listening;
  struct Connection;
  struct Worker;

  void Start();
  void Stop();
  void AcceptLoop(Listening& listening);
  void AcceptOne(Listening& listening);
  void WatchQuiet(std::unique_ptr<Connection> connection);
  void WatchLoop();
  int QuietWaitMs();
  void QueueReady(const std::vector<std::uintptr_t>& keys);
  void DropExpiredQuiet();
  void CloseQuiet();
  bool MayServeNextLocked() const;
  bool ServeWaitingWhereRoom();
  void StartWorker(std::unique_ptr<Connection> connection);
  void WorkerLoop(Worker& worker);
  void RunConnection(Connection& connection);
  void ReapRetiredWorkers();
  void ReleaseMemoryWhenIdle();
  unsigned BusyConnectionLimit() const;
  platform::Thread StartThread(std::function<void()> body);

  TIdServerIOHandler* io_handler_ = nullptr;
  // Before everything that holds connections, whose tickets it must outlive.
  ConnectionAdmission admission_;
  AdmissionLimits admission_limits_;  // set at start
  std::atomic<bool> active_{false};
  std::atomic<bool> stopping_{false};
  std::vector<std::unique_ptr<Listening>> listening_;
  std::unique_ptr<platform::SocketWatch> watch_;  // while active
  std::thread watch_thread_;

  // Each connection is served by a thread of its own once its request has begun; until then it is
  // quiet, watched with all the others by one thread. A thread that has finished one takes the
  // next waiting connection, or waits a short while for one before it ends, so that under load
  // threads are reused instead of being started and torn down for every connection. A few
  // connections per processor are served at once; while that many are being served quickly, the
  // next ones wait in order of arrival. A connection that takes long (a slow peer, a slow
  // upstream) makes room for another, and none waits its turn for long. The mutex is held only
  // to hand a connection over; sockets are closed and handlers run outside it.
  std::mutex mutex_;
  std::list<std::unique_ptr<Worker>> workers_;       // guarded, as is each worker's connection
  std::vector<Worker*> idle_workers_;                // guarded; the most recently idle last
  std::deque<std::unique_ptr<Connection>> waiting_;  // guarded; the oldest first
  std::list<std::unique_ptr<Connection>> quiet_;     // guarded; the oldest first
  std::atomic<int> retired_workers_{0};
  std::atomic<bool> memory_to_release_{false};
  std::atomic<int> thread_start_failures_{0};
};

}  // namespace vp
