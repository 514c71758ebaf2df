// Listener start and stop, and the threads behind them.
#include "http/HttpServer.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>

#include "base/Error.h"
#include "http/HttpConnection.h"
#include "io/Watchdog.h"
#include "platform/ProcessMemory.h"

namespace vp {
namespace {

// How often a listening thread looks up from accept() to see whether it should stop, to join the
// threads that have ended, and, when nothing is open, to hand freed memory back; and how often
// the watch of the quiet connections looks for those whose time is up.
constexpr int kAcceptPollMs = 500;
// The stack each connection thread may grow to. Serving a connection was measured to reach about
// 75 KB of stack on 64-bit Linux, at its deepest in the TLS handshakes on either side and in the
// HTTP reads with their 16 KB buffer; this leaves more than three times that.
constexpr std::size_t kConnectionStackBytes = 256 * 1024;
// How long a connection thread that has finished waits for the next connection before it ends.
// Long enough to carry it across the gaps between requests of a busy till or of a burst; short
// enough that the threads and their memory go soon after the burst is over.
constexpr auto kWorkerIdleTime = std::chrono::milliseconds(1000);
// How many connections per processor are served at once while each is served quickly. Forwarding
// a request is mostly handshake arithmetic; beyond a few per processor, more at once only add
// thread switches and lock traffic, and share the processors so evenly that every request of a
// burst finishes late, where in order of arrival the first finish early.
constexpr unsigned kBusyConnectionsPerProcessor = 4;
// While connections wait their turn, the listening thread looks this often for room made by
// connections that have turned slow.
constexpr int kWaitingPollMs = 25;
// After a failed accept (out of descriptors or memory, say) the connection stays queued and the
// socket stays readable; a short pause keeps the loop from spinning until room is made.
constexpr auto kAcceptRetryPause = std::chrono::milliseconds(20);

}  // namespace

unsigned TIdHTTPServer::BusyConnectionLimit() const {
  if (Limits.busy_connections > 0) return Limits.busy_connections;
  // Asked once: the system reads a file to answer it.
  static const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
  return processors * kBusyConnectionsPerProcessor;
}

platform::Thread TIdHTTPServer::StartThread(std::function<void()> body) {
  int failures = thread_start_failures_.load();
  while (failures > 0 && !thread_start_failures_.compare_exchange_weak(failures, failures - 1)) {
  }
  if (failures > 0)
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  return platform::Thread(kConnectionStackBytes, std::move(body));
}

struct TIdHTTPServer::Connection {
  platform::Socket socket;
  std::string remote_ip;
  WatchClock::time_point accepted;
  WatchClock::time_point queued;  // when its request began and it joined the line
  ConnectionAdmission::Ticket ticket;
  std::list<std::unique_ptr<Connection>>::iterator quiet_position;  // while quiet; guarded

  std::uintptr_t WatchKey() { return reinterpret_cast<std::uintptr_t>(this); }
};

struct TIdHTTPServer::Listening {
  platform::Socket socket;
  std::thread thread;
};

struct TIdHTTPServer::Worker {
  platform::Thread thread;
  std::condition_variable wake;
  std::unique_ptr<Connection> connection;  // the one being served, or handed over; guarded
  WatchClock::time_point serving_since;    // guarded; when it was handed over
  bool retired = false;                    // guarded; the thread has left WorkerLoop
  platform::ThreadHeapMark heap_mark;      // set as the thread leaves; freed after the join

  // Under the lock: the connection to serve next, whose serving time starts now.
  void Take(std::unique_ptr<Connection> next) {
    connection = std::move(next);
    serving_since = WatchClock::now();
  }
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
  admission_limits_ = Limits.admission;
  // A connection being served may hold a second socket, to the upstream.
  admission_limits_.open = std::min(admission_limits_.open, platform::AllowManySockets() / 2);
  try {
    watch_ = std::make_unique<platform::SocketWatch>();
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
    watch_.reset();
    throw;
  }
  active_ = true;
  watch_thread_ = std::thread([this] { WatchLoop(); });
  // The OS gives no portable "highest priority" for std::thread; the accept loop does so little
  // that it never competes with the connection threads anyway.
  for (auto& listening : listening_)
    listening->thread = std::thread([this, l = listening.get()] { AcceptLoop(*l); });
}

void TIdHTTPServer::Stop() {
  if (!active_.exchange(false)) return;
  stopping_ = true;
  for (auto& listening : listening_) listening->socket.Interrupt();
  watch_->Wake();
  for (auto& listening : listening_)
    if (listening->thread.joinable()) listening->thread.join();
  listening_.clear();
  if (watch_thread_.joinable()) watch_thread_.join();
  CloseQuiet();

  std::list<std::unique_ptr<Worker>> workers;
  std::deque<std::unique_ptr<Connection>> waiting;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting.swap(waiting_);
    // A thread waiting for request bytes wakes at once; one inside the handler ends when the
    // handler returns, which the upstream client bounds. Idle threads end now.
    for (auto& worker : workers_)
      if (worker->connection) worker->connection->socket.Interrupt();
    workers.swap(workers_);
  }
  for (auto& worker : workers) worker->wake.notify_all();
  for (auto& worker : workers)
    if (worker->thread.joinable()) worker->thread.join();
  workers.clear();  // connections handed over but never taken close unserved
  waiting.clear();  // and so do those still waiting their turn
  {
    std::lock_guard<std::mutex> lock(mutex_);
    idle_workers_.clear();
    retired_workers_ = 0;
  }
  watch_.reset();
  if (io_handler_) io_handler_->Shutdown();
}

void TIdHTTPServer::AcceptLoop(Listening& listening) {
  while (!stopping_) {
    ReapRetiredWorkers();
    bool waiting = ServeWaitingWhereRoom();
    bool readable = false;
    try {
      readable = listening.socket.WaitReadable(waiting ? kWaitingPollMs : kAcceptPollMs);
    } catch (const Error&) {
      return;
    }
    if (stopping_) return;
    if (readable)
      AcceptOne(listening);
    else if (!waiting)
      ReleaseMemoryWhenIdle();
  }
}

// A connection the limits leave room for is watched until its request begins; one they leave
// none for is turned away before a byte is read.
void TIdHTTPServer::AcceptOne(Listening& listening) {
  auto connection = std::make_unique<Connection>();
  try {
    connection->socket = listening.socket.Accept(&connection->remote_ip);
  } catch (const Error&) {
    // The peer gave up before we took it, we are stopping, or the system is out of room.
    if (!stopping_) std::this_thread::sleep_for(kAcceptRetryPause);
    return;
  }
  connection->ticket = admission_.Admit(connection->remote_ip, admission_limits_);
  if (!connection->ticket) {
    // A reset leaves nothing behind on this side, where an orderly close would leave a flood's
    // connections lingering in TIME_WAIT.
    connection->socket.CloseWithReset();
    return;
  }
  connection->accepted = WatchClock::now();
  WatchQuiet(std::move(connection));
}

void TIdHTTPServer::WatchQuiet(std::unique_ptr<Connection> connection) {
  std::unique_ptr<Connection> unwatched;  // closed after the lock is released
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_) return;  // Stop() has taken the quiet ones already; this one closes unserved
  // Under the lock, so that the watching thread, which may be told of it at once, finds it in
  // place, and cannot let it expire before it is watched.
  try {
    watch_->Add(connection->socket, connection->WatchKey());
  } catch (const Error&) {
    // The system has no room to watch it: it is lost alone, as when no thread can be started.
    unwatched = std::move(connection);
    return;
  }
  quiet_.push_back(std::move(connection));
  quiet_.back()->quiet_position = std::prev(quiet_.end());
}

// The quiet connections, those accepted that have sent nothing yet, are watched all at once by
// one thread and hold a socket each, no thread: a crowd of idle peers cannot use up the threads,
// nor a 32-bit process's address space for their stacks.
void TIdHTTPServer::WatchLoop() {
  while (!stopping_) {
    std::vector<std::uintptr_t> ready;
    try {
      ready = watch_->Wait(QuietWaitMs());
    } catch (const Error&) {
      std::this_thread::sleep_for(kAcceptRetryPause);  // out of memory, say; the next may work
    }
    if (stopping_) return;
    QueueReady(ready);
    DropExpiredQuiet();
  }
}

// Until the oldest quiet connection's time is up, or the next regular look.
int TIdHTTPServer::QuietWaitMs() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (quiet_.empty()) return kAcceptPollMs;
  auto left = std::chrono::ceil<std::chrono::milliseconds>(
      quiet_.front()->accepted + std::chrono::milliseconds(Limits.client_timeout_ms) -
      WatchClock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, kAcceptPollMs));
}

// The quiet connections whose request has begun, or whose peer has gone, join the end of the
// line in the order they were reported.
void TIdHTTPServer::QueueReady(const std::vector<std::uintptr_t>& keys) {
  if (keys.empty()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto now = WatchClock::now();
    for (std::uintptr_t key : keys) {
      auto position = reinterpret_cast<Connection*>(key)->quiet_position;
      (*position)->queued = now;
      waiting_.push_back(std::move(*position));
      quiet_.erase(position);
    }
  }
  ServeWaitingWhereRoom();
}

// A peer that has sent nothing within its time is dropped without an answer, as one that stops
// halfway is.
void TIdHTTPServer::DropExpiredQuiet() {
  const auto since = WatchClock::now() - std::chrono::milliseconds(Limits.client_timeout_ms);
  std::list<std::unique_ptr<Connection>> expired;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto end = std::find_if(quiet_.begin(), quiet_.end(),
                            [since](const auto& quiet) { return quiet->accepted > since; });
    expired.splice(expired.end(), quiet_, quiet_.begin(), end);
  }
  for (auto& quiet : expired) watch_->Drop(quiet->socket, quiet->WatchKey());
}

// At stop, once the watching thread has ended.
void TIdHTTPServer::CloseQuiet() {
  std::list<std::unique_ptr<Connection>> quiet;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quiet.swap(quiet_);
  }
  for (auto& connection : quiet) watch_->Drop(connection->socket, connection->WatchKey());
}

bool TIdHTTPServer::MayServeNextLocked() const {
  if (waiting_.empty()) return false;
  WatchClock::time_point slow_since =
      WatchClock::now() - std::chrono::milliseconds(Limits.slow_connection_ms);
  if (waiting_.front()->queued <= slow_since) return true;
  unsigned busy = 0;
  for (const auto& worker : workers_)
    if (worker->connection && worker->serving_since > slow_since) ++busy;
  return busy < BusyConnectionLimit();
}

// Hands waiting connections, the oldest first, to the thread that became idle last (its stack and
// caches are the warmest), or to a new thread, while they may be served. Answers whether
// connections are still waiting.
bool TIdHTTPServer::ServeWaitingWhereRoom() {
  for (;;) {
    std::unique_ptr<Connection> next;
    Worker* idle = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (waiting_.empty()) return false;
      if (stopping_ || !MayServeNextLocked()) return true;
      if (idle_workers_.empty() && workers_.size() >= Limits.connection_threads) return true;
      next = std::move(waiting_.front());
      waiting_.pop_front();
      if (!idle_workers_.empty()) {
        idle = idle_workers_.back();
        idle_workers_.pop_back();
        idle->Take(std::move(next));
      }
    }
    if (idle)
      idle->wake.notify_one();
    else
      StartWorker(std::move(next));
  }
}

// When the system cannot start another thread (or find the memory for one), only this connection
// is lost: it closes unanswered, and the listener goes on with the next.
void TIdHTTPServer::StartWorker(std::unique_ptr<Connection> connection) {
  std::unique_ptr<Worker> failed;  // closed after the lock is released
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_) return;
  try {
    workers_.push_back(std::make_unique<Worker>());
    Worker* worker = workers_.back().get();
    worker->Take(std::move(connection));
    worker->thread = StartThread([this, worker] { WorkerLoop(*worker); });
  } catch (const std::exception&) {
    if (!workers_.empty() && !workers_.back()->thread.joinable()) {
      failed = std::move(workers_.back());
      workers_.pop_back();
    }
  }
}

void TIdHTTPServer::WorkerLoop(Worker& worker) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    Connection& connection = *worker.connection;
    lock.unlock();
    RunConnection(connection);
    lock.lock();
    std::unique_ptr<Connection> done = std::move(worker.connection);
    // The room this connection leaves goes to the next in line at once; a slow one left none.
    if (!stopping_ && MayServeNextLocked()) {
      worker.Take(std::move(waiting_.front()));
      waiting_.pop_front();
    }
    lock.unlock();
    done.reset();  // closes the socket, outside the lock
    lock.lock();
    if (stopping_) break;
    if (worker.connection) continue;
    idle_workers_.push_back(&worker);
    bool handed = worker.wake.wait_for(lock, kWorkerIdleTime, [this, &worker] {
      return worker.connection != nullptr || stopping_;
    });
    if (!handed) {
      idle_workers_.erase(std::find(idle_workers_.begin(), idle_workers_.end(), &worker));
      break;
    }
    if (stopping_) break;
  }
  worker.heap_mark = platform::MarkThreadHeapEnd();
  worker.retired = true;
  ++retired_workers_;
  memory_to_release_ = true;
}

void TIdHTTPServer::RunConnection(Connection& connection) {
  platform::Socket& socket = connection.socket;
  auto drop = [&socket] { socket.Interrupt(); };
  try {
    // Declared before the transport, so that it still bounds the TLS close at the end.
    Watch client_time(connection.accepted + std::chrono::milliseconds(Limits.client_timeout_ms),
                      drop);
    std::unique_ptr<vp::IOHandler> transport;
    if (io_handler_)
      transport = io_handler_->Accept(socket);
    else
      transport = std::make_unique<PlainIOHandler>(socket);
    HttpConnectionOptions options;
    options.maximum_header_line_count = MaximumHeaderLineCount;
    options.on_command_get = &OnCommandGet;
    options.on_command_other = &OnCommandOther;
    options.on_request_read = [&client_time] { client_time.Disarm(); };
    options.on_handler_done = [&client_time, &drop, this] {
      client_time = Watch(DeadlineIn(Limits.client_timeout_ms), drop);
    };
    ServeOneRequest(*transport, connection.remote_ip, options);
  } catch (const std::exception&) {
    // A connection that fails ends without an answer; nothing is logged.
  }
  // Tell the peer we are done now; the descriptor itself is closed by the caller.
  connection.socket.Interrupt();
}

void TIdHTTPServer::ReapRetiredWorkers() {
  if (retired_workers_.load() == 0) return;
  std::list<std::unique_ptr<Worker>> retired;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      auto next = std::next(it);
      if ((*it)->retired) retired.splice(retired.end(), workers_, it);
      it = next;
    }
    retired_workers_ -= static_cast<int>(retired.size());
  }
  for (auto& worker : retired) worker->thread.join();
}

// After a burst the threads have ended, but the allocator keeps the memory they used; with
// nothing open it is handed back, so that an idle proxy stays small.
void TIdHTTPServer::ReleaseMemoryWhenIdle() {
  // The threads of a burst end together, while this thread waits on the socket; taking them now
  // hands their memory back a wait sooner.
  ReapRetiredWorkers();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!workers_.empty()) return;
  }
  if (memory_to_release_.exchange(false)) platform::ReleaseFreeMemory();
}

}  // namespace vp
