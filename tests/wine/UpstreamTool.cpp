// The upstream of the Wine end-to-end checks: a native program on the Linux side, built from the
// test helpers, that the Windows program under Wine forwards to.
//
//   vp-test-upstream tls|plain BODY DIR   answers every request with status 200 and BODY, over
//                                         TLS 1.2 (the build-time upstream certificate) or plain
//                                         HTTP, and writes each request's bytes to DIR/request-N
//   vp-test-upstream hold PORT            only listens on 127.0.0.1:PORT, so nobody else can
//
// Both print "port N" once they listen, then run until SIGINT or SIGTERM, or at most
// kLifetimeSeconds, so a harness that dies cannot leave them behind for long.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "platform/FileSystem.h"
#include "platform/Socket.h"
#include "platform/Termination.h"
#include "support/TestUpstream.h"

namespace {

constexpr int kLifetimeSeconds = 900;
constexpr auto kPoll = std::chrono::milliseconds(50);

// Calls step every kPoll until termination is asked for or the lifetime is over.
template <typename Step>
void RunUntilStopped(Step step) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(kLifetimeSeconds);
  while (!vp::platform::TerminationRequested() && std::chrono::steady_clock::now() < end) {
    step();
    std::this_thread::sleep_for(kPoll);
  }
}

void AnnouncePort(std::uint16_t port) {
  std::printf("port %u\n", port);
  std::fflush(stdout);
}

int Serve(bool tls, const std::string& body, const std::string& dir) {
  std::unique_ptr<vp::test::TlsUpstreamTransport> transport;
  if (tls) transport = std::make_unique<vp::test::TlsUpstreamTransport>();
  vp::test::TestUpstream upstream({{vp::test::HttpAnswer(200, "OK", body)}},
                                  tls ? transport->Factory() : vp::test::TestUpstream::Plain());
  AnnouncePort(upstream.port());
  std::size_t written = 0;
  auto write_new = [&] {
    std::vector<std::string> requests = upstream.Requests();
    // A request shows up empty until it has arrived whole.
    while (written < requests.size() && !requests[written].empty()) {
      std::string path =
          vp::platform::IncludeTrailingDelimiter(dir) + "request-" + std::to_string(written + 1);
      vp::platform::ReplaceFileBytes(path, requests[written]);
      ++written;
    }
  };
  RunUntilStopped(write_new);
  upstream.Stop();
  write_new();
  return 0;
}

int Hold(std::uint16_t port) {
  vp::platform::Socket socket = vp::platform::Socket::OpenTcp(vp::platform::IpFamily::kV4);
  // The check before may have left the port in TIME_WAIT; a listener is what keeps others out.
  socket.SetExclusiveAddressUse();
  socket.Bind("127.0.0.1", port);
  socket.Listen(1);
  AnnouncePort(socket.LocalPort());
  RunUntilStopped([] {});
  return 0;
}

int Usage() {
  std::fprintf(stderr, "usage: vp-test-upstream tls|plain BODY DIR | hold PORT\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  vp::platform::InstallTerminationHandler();
  std::string command = argc > 1 ? argv[1] : "";
  try {
    if ((command == "tls" || command == "plain") && argc == 4)
      return Serve(command == "tls", argv[2], argv[3]);
    if (command == "hold" && argc == 3) return Hold(static_cast<std::uint16_t>(std::atoi(argv[2])));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vp-test-upstream: %s\n", error.what());
    return 1;
  }
  return Usage();
}
