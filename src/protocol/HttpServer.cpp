// Listener start and stop, and the threads behind them.
#include "protocol/HttpServer.h"

#include <chrono>

#include "platform/Error.h"
#include "platform/ProcessMemory.h"
#include "protocol/HttpConnection.h"

namespace vp {
namespace {

// How often a listening thread looks up from accept() to see whether it should stop, to join the
// threads that have ended, and, when nothing is open, to hand freed memory back.
constexpr int kAcceptPollMs = 500;
// How long a connection thread that has finished waits for the next connection before it ends.
// Long enough to carry it across the gaps between requests of a busy till or of a burst; short
// enough that the threads and their memory go soon after the burst is over.
constexpr auto kWorkerIdleTime = std::chrono::milliseconds(1000);

}  // namespace

struct TIdHTTPServer::Listening {
  platform::Socket socket;
  std::thread thread;
};

struct TIdHTTPServer::Connection {
  platform::Socket socket;
  std::string remote_ip;
  std::list<std::unique_ptr<Connection>>::iterator position;  // in connections_
};

struct TIdHTTPServer::Worker {
  std::thread thread;
  bool retired = false;  // guarded by mutex_; the thread has left WorkerLoop
};

TIdHTTPServer::TIdHTTPServer() = default;

TIdHTTPServer::~TIdHTTPServer() { Stop(); }

void TIdHTTPServer::SetActive(bool active) {
  if (active == active_.load()) return;
  if (active)
    Start();
  else
    Stop();
}

std::uint16_t TIdHTTPServer::BoundPort() const {
  return listening_.empty() ? 0 : listening_.front()->socket.LocalPort();
}

void TIdHTTPServer::Start() {
  std::vector<TIdSocketHandle> bindings = Bindings;
  if (bindings.empty()) {
    bindings.push_back({"", DefaultPort, platform::IpFamily::kV4});
    if (platform::HasIPv6()) bindings.push_back({"", DefaultPort, platform::IpFamily::kV6});
  }
  stopping_ = false;
  try {
    if (io_handler_) io_handler_->Init();
    for (const TIdSocketHandle& binding : bindings) {
      auto listening = std::make_unique<Listening>();
      listening->socket = platform::Socket::OpenTcp(binding.IPVersion);
      listening->socket.SetExclusiveAddressUse();
      try {
        listening->socket.Bind(binding.IP, binding.Port);
      } catch (const Error& error) {
        throw Error(ErrorKind::kBind, kMsgCouldNotBind, error.detail(), error.code());
      }
      // Tills come back together after an outage; a short queue would turn that burst into
      // refused connects and one-second retries.
      listening->socket.ListenWithSystemMaximumQueue();
      listening_.push_back(std::move(listening));
    }
  } catch (...) {
    listening_.clear();
    if (io_handler_) io_handler_->Shutdown();
    throw;
  }
  active_ = true;
  // The OS gives no portable "highest priority" for std::thread; the accept loop does so little
  // that it never competes with the connection threads anyway.
  for (auto& listening : listening_)
    listening->thread = std::thread([this, l = listening.get()] { AcceptLoop(*l); });
}

void TIdHTTPServer::Stop() {
  if (!active_.exchange(false)) return;
  stopping_ = true;
  for (auto& listening : listening_) listening->socket.Interrupt();
  for (auto& listening : listening_)
    if (listening->thread.joinable()) listening->thread.join();
  listening_.clear();

  std::list<std::unique_ptr<Worker>> workers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // A thread waiting for request bytes wakes at once; one inside the handler ends when the
    // handler returns, which the upstream client bounds. Idle threads end now.
    for (auto& connection : connections_) connection->socket.Interrupt();
    workers.swap(workers_);
  }
  work_ready_.notify_all();
  for (auto& worker : workers)
    if (worker->thread.joinable()) worker->thread.join();
  std::lock_guard<std::mutex> lock(mutex_);
  waiting_.clear();
  connections_.clear();  // those nobody took close unserved
  idle_workers_ = 0;
  if (io_handler_) io_handler_->Shutdown();
}

void TIdHTTPServer::AcceptLoop(Listening& listening) {
  while (!stopping_) {
    ReapRetiredWorkers();
    bool readable = false;
    try {
      readable = listening.socket.WaitReadable(kAcceptPollMs);
    } catch (const Error&) {
      return;
    }
    if (stopping_) return;
    if (!readable) {
      ReleaseMemoryWhenIdle();
      continue;
    }
    auto connection = std::make_unique<Connection>();
    try {
      connection->socket = listening.socket.Accept();
    } catch (const Error&) {
      continue;  // the peer gave up before we took it, or we are stopping
    }
    connection->remote_ip = connection->socket.PeerAddress();
    Dispatch(std::move(connection));
  }
}

// Hands the connection to a thread that is waiting for one, or starts a new thread for it.
void TIdHTTPServer::Dispatch(std::unique_ptr<Connection> connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_) return;  // Stop() has taken the threads already; this one closes unserved
  Connection* raw = connection.get();
  connections_.push_back(std::move(connection));
  raw->position = std::prev(connections_.end());
  waiting_.push_back(raw);
  if (idle_workers_ >= waiting_.size()) {
    work_ready_.notify_one();
    return;
  }
  auto worker = std::make_unique<Worker>();
  Worker* new_worker = worker.get();
  workers_.push_back(std::move(worker));
  new_worker->thread = std::thread([this, new_worker] { WorkerLoop(*new_worker); });
}

void TIdHTTPServer::WorkerLoop(Worker& worker) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ++idle_workers_;
    bool has_work = work_ready_.wait_for(lock, kWorkerIdleTime,
                                         [this] { return stopping_ || !waiting_.empty(); });
    --idle_workers_;
    if (stopping_ || !has_work) break;
    Connection* connection = waiting_.front();
    waiting_.pop_front();
    lock.unlock();
    RunConnection(*connection);
    lock.lock();
    connections_.erase(connection->position);  // closes the socket
  }
  worker.retired = true;
  memory_to_release_ = true;
}

void TIdHTTPServer::RunConnection(Connection& connection) {
  try {
    std::unique_ptr<vp::IOHandler> transport;
    if (io_handler_)
      transport = io_handler_->Accept(connection.socket);
    else
      transport = std::make_unique<PlainIOHandler>(connection.socket);
    HttpConnectionOptions options;
    options.maximum_header_line_count = MaximumHeaderLineCount;
    options.on_command_get = &OnCommandGet;
    options.on_command_other = &OnCommandOther;
    ServeOneRequest(*transport, connection.remote_ip, options);
  } catch (const std::exception&) {
    // A connection that fails ends without an answer; nothing is logged.
  }
}

void TIdHTTPServer::ReapRetiredWorkers() {
  std::list<std::unique_ptr<Worker>> retired;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      auto next = std::next(it);
      if ((*it)->retired) retired.splice(retired.end(), workers_, it);
      it = next;
    }
  }
  for (auto& worker : retired) worker->thread.join();
}

// After a burst the threads have ended, but the allocator keeps the memory they used; with
// nothing open it is handed back, so that an idle proxy stays small.
void TIdHTTPServer::ReleaseMemoryWhenIdle() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!workers_.empty() || !connections_.empty()) return;
  }
  if (memory_to_release_.exchange(false)) platform::ReleaseFreeMemory();
}

}  // namespace vp
