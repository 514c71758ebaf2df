// Listener start and stop, and the threads behind them.
#include "protocol/HttpServer.h"

#include "platform/Error.h"
#include "protocol/HttpConnection.h"

namespace vp {
namespace {

// How often a listening thread looks up from accept() to see whether it should stop and to
// release the threads of connections that have ended.
constexpr int kAcceptPollMs = 500;

}  // namespace

struct TIdHTTPServer::Listening {
  platform::Socket socket;
  std::thread thread;
};

struct TIdHTTPServer::Connection {
  platform::Socket socket;
  std::string remote_ip;
  std::thread thread;
  std::atomic<bool> finished{false};
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

  std::list<std::unique_ptr<Connection>> connections;
  {
    std::lock_guard<std::mutex> lock(connections_mutex_);
    // A thread waiting for request bytes wakes at once; one inside the handler ends when the
    // handler returns, which the upstream client bounds.
    for (auto& connection : connections_) connection->socket.Interrupt();
    connections.swap(connections_);
  }
  for (auto& connection : connections)
    if (connection->thread.joinable()) connection->thread.join();
  connections.clear();
  if (io_handler_) io_handler_->Shutdown();
}

void TIdHTTPServer::AcceptLoop(Listening& listening) {
  while (!stopping_) {
    ReapFinishedConnections();
    bool readable = false;
    try {
      readable = listening.socket.WaitReadable(kAcceptPollMs);
    } catch (const Error&) {
      return;
    }
    if (stopping_) return;
    if (!readable) continue;
    auto connection = std::make_unique<Connection>();
    try {
      connection->socket = listening.socket.Accept();
    } catch (const Error&) {
      continue;  // the peer gave up before we took it, or we are stopping
    }
    connection->remote_ip = connection->socket.PeerAddress();
    std::lock_guard<std::mutex> lock(connections_mutex_);
    if (stopping_) return;  // Stop() has taken the list already; this one closes unserved
    Connection* raw = connection.get();
    connections_.push_back(std::move(connection));
    raw->thread = std::thread([this, raw] { RunConnection(*raw); });
  }
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
  // Tell the peer we are done now; the descriptor itself is closed when the thread is reaped.
  connection.socket.Interrupt();
  connection.finished = true;
}

void TIdHTTPServer::ReapFinishedConnections() {
  std::list<std::unique_ptr<Connection>> finished;
  {
    std::lock_guard<std::mutex> lock(connections_mutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      auto next = std::next(it);
      if ((*it)->finished) finished.splice(finished.end(), connections_, it);
      it = next;
    }
  }
  for (auto& connection : finished) connection->thread.join();
}

}  // namespace vp
