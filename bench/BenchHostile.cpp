// The benchmark's hostile peers, on 127.0.0.1 only.
//
//   vp-bench-hostile hold --port N [--idle I] [--slow S] [--transport plain|tls1.0]
//                         [--byte-ms MS] [--seconds T]
//     Opens I connections that send nothing and S that send a request head one byte every MS
//     milliseconds (1000 by default) and never finish it; over tls1.0 the slow ones complete the
//     handshake first, as a real client would. Prints "held idle=I slow=S" once all are open, keeps
//     them T seconds (20 by default), then prints "dropped idle=X slow=Y": how many the server
//     had closed by then.
//
//   vp-bench-hostile drip [--byte-ms MS]
//     A plain HTTP upstream that answers every request with a status 200, a Content-Length of
//     1000, and then one byte every MS milliseconds (2000 by default) until its client goes.
//     Prints "port N" once it listens, and serves until it is stopped.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BenchHttp.h"
#include "BenchMain.h"
#include "BenchTls.h"
#include "base/Error.h"
#include "platform/Socket.h"

namespace vp::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kSlowHead =
    "POST /FiskalizacijaServiceTest HTTP/1.1\r\nHost: cistest.apis-it.hr\r\n"
    "Content-Type: text/xml; charset=utf-8\r\nContent-Length: 3000\r\n\r\n";

struct Options {
  std::string command;
  int port = 0;
  int idle = 0;
  int slow = 0;
  bool tls = false;
  int byte_ms = 0;
  double seconds = 20;
};

Options ParseOptions(int argc, char** argv) {
  if (argc < 2) throw std::runtime_error("usage: vp-bench-hostile hold|drip [options]");
  Options options;
  options.command = argv[1];
  options.byte_ms = options.command == "drip" ? 2000 : 1000;
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string name = argv[i];
    const char* value = argv[i + 1];
    if (name == "--port")
      options.port = std::atoi(value);
    else if (name == "--idle")
      options.idle = std::atoi(value);
    else if (name == "--slow")
      options.slow = std::atoi(value);
    else if (name == "--transport")
      options.tls = std::string(value) == "tls1.0";
    else if (name == "--byte-ms")
      options.byte_ms = std::atoi(value);
    else if (name == "--seconds")
      options.seconds = std::atof(value);
    else
      throw std::runtime_error("unknown option " + name);
  }
  if (options.byte_ms < 1 || (options.command == "hold" && options.port <= 0))
    throw std::runtime_error("vp-bench-hostile: bad options");
  return options;
}

// One slow client: its socket, over TLS its connection, and how far it has got.
struct SlowClient {
  platform::Socket socket;
  SslPtr ssl;
  std::size_t sent = 0;
  bool dropped = false;

  // Sends the next byte of the head; notes when the server has closed the connection.
  void Step() {
    if (dropped) return;
    const char* next = kSlowHead + (sent % std::char_traits<char>::length(kSlowHead));
    try {
      if (ssl) {
        if (SSL_write(ssl.get(), next, 1) != 1) dropped = true;
        ERR_clear_error();
      } else {
        socket.SendAll(std::string_view(next, 1));
      }
      ++sent;
    } catch (const Error&) {
      dropped = true;
    }
  }
};

// Whether the server has closed a connection that sent nothing.
bool ClosedByServer(platform::Socket& socket) {
  try {
    if (!socket.WaitReadable(0)) return false;
    char byte;
    return socket.Receive(&byte, 1) == 0;
  } catch (const Error&) {
    return true;
  }
}

int Hold(const Options& options) {
  // OpenSSL writes to the socket itself, and a write after the server has closed must fail,
  // not end this process. (The bench is built on Linux only.)
  std::signal(SIGPIPE, SIG_IGN);
  platform::AllowManySockets();
  SslCtxPtr ctx;
  if (options.tls) {
    ctx.reset(SSL_CTX_new(TLS_client_method()));
    if (!ctx) throw std::runtime_error(TlsErrorText("SSL_CTX_new"));
    PinVersion(ctx.get(), TLS1_VERSION);
  }
  const auto port = static_cast<std::uint16_t>(options.port);
  std::vector<platform::Socket> idle;
  for (int i = 0; i < options.idle; ++i)
    idle.push_back(platform::Socket::ConnectTcp("127.0.0.1", port));
  std::vector<SlowClient> slow(static_cast<std::size_t>(options.slow));
  for (SlowClient& client : slow) {
    client.socket = platform::Socket::ConnectTcp("127.0.0.1", port);
    if (!ctx) continue;
    client.ssl = NewConnection(ctx.get(), client.socket);
    if (SSL_connect(client.ssl.get()) != 1) throw std::runtime_error(TlsErrorText("handshake"));
  }
  std::printf("held idle=%d slow=%d\n", options.idle, options.slow);
  std::fflush(stdout);

  const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(options.seconds));
  while (Clock::now() < end) {
    for (SlowClient& client : slow) client.Step();
    std::this_thread::sleep_for(std::chrono::milliseconds(options.byte_ms));
  }
  int idle_dropped = 0, slow_dropped = 0;
  for (platform::Socket& socket : idle) idle_dropped += ClosedByServer(socket) ? 1 : 0;
  for (SlowClient& client : slow) {
    client.Step();
    slow_dropped += client.dropped ? 1 : 0;
  }
  std::printf("dropped idle=%d slow=%d\n", idle_dropped, slow_dropped);
  return 0;
}

void Drip(platform::Socket socket, int byte_ms) {
  try {
    socket.SetTimeouts(30000, 30000);
    if (!ReadRequest(
            [&socket](char* buffer, std::size_t size) { return socket.Receive(buffer, size); }))
      return;
    socket.SendAll("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: 1000\r\n\r\n");
    for (int i = 0; i < 1000; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(byte_ms));
      socket.SendAll("z");
    }
  } catch (const Error&) {
    // The client has gone.
  }
}

int ServeDrip(const Options& options) {
  platform::Socket listening = platform::Socket::OpenTcp(platform::IpFamily::kV4);
  listening.Bind("127.0.0.1", static_cast<std::uint16_t>(options.port));
  listening.Listen(64);
  std::printf("port %u\n", listening.LocalPort());
  std::fflush(stdout);
  for (;;) std::thread(Drip, listening.Accept(), options.byte_ms).detach();
}

}  // namespace
}  // namespace vp::bench

int main(int argc, char** argv) {
  using namespace vp::bench;
  return RunTool("vp-bench-hostile", [&] {
    Options options = ParseOptions(argc, argv);
    if (options.command == "hold") return Hold(options);
    if (options.command == "drip") return ServeDrip(options);
    throw std::runtime_error("unknown command " + options.command);
  });
}
