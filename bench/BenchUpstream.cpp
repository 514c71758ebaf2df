// The benchmark's stand-in for the tax authority: an HTTPS server on 127.0.0.1 that speaks TLS 1.2
// only, refuses session resumption (no cache, no tickets), so every connection pays a full
// handshake, and answers every POST with the same SOAP document, then closes.
//
//   vp-bench-upstream --cert FILE --key FILE [--port N] [--threads N] [--offer-reuse 1]
//
// With --offer-reuse 1 it behaves like real servers instead: it resumes sessions (by ticket or
// from its cache) and keeps a connection open for the next request when the request allows it,
// for up to kKeepAliveMs of silence.
//
// Prints "port N" once it listens and serves until it is stopped.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "BenchHttp.h"
#include "BenchMain.h"
#include "BenchTls.h"
#include "SoapTexts.h"
#include "base/Error.h"

namespace vp::bench {
namespace {

constexpr int kSocketTimeoutMs = 10000;
// Like nginx's keepalive_timeout of 75 s, well above the forwarders' own idle limits.
constexpr int kKeepAliveMs = 60000;

struct Options {
  std::string cert;
  std::string key;
  int port = 0;
  int threads = 64;
  bool offer_reuse = false;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string name = argv[i];
    const char* value = argv[i + 1];
    if (name == "--cert")
      options.cert = value;
    else if (name == "--key")
      options.key = value;
    else if (name == "--port")
      options.port = std::atoi(value);
    else if (name == "--threads")
      options.threads = std::atoi(value);
    else if (name == "--offer-reuse")
      options.offer_reuse = std::atoi(value) != 0;
    else
      throw std::runtime_error("unknown option " + name);
  }
  if (options.cert.empty() || options.key.empty() || options.threads < 1)
    throw std::runtime_error(
        "usage: vp-bench-upstream --cert FILE --key FILE [--port N] [--threads N]");
  return options;
}

SslCtxPtr MakeContext(const Options& options) {
  SslCtxPtr ctx(SSL_CTX_new(TLS_server_method()));
  if (!ctx) throw std::runtime_error(TlsErrorText("SSL_CTX_new"));
  PinVersion(ctx.get(), TLS1_2_VERSION);
  if (options.offer_reuse) {
    static const unsigned char kContext[] = "vp-bench";
    SSL_CTX_set_session_id_context(ctx.get(), kContext, sizeof kContext - 1);
  } else {
    SSL_CTX_set_session_cache_mode(ctx.get(), SSL_SESS_CACHE_OFF);
    SSL_CTX_set_options(ctx.get(), SSL_OP_NO_TICKET);
  }
  if (SSL_CTX_use_certificate_chain_file(ctx.get(), options.cert.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx.get(), options.key.c_str(), SSL_FILETYPE_PEM) != 1)
    throw std::runtime_error(TlsErrorText("certificate or key"));
  return ctx;
}

std::size_t ReadSome(SSL* ssl, char* buffer, std::size_t size) {
  int n = SSL_read(ssl, buffer, static_cast<int>(size));
  return n > 0 ? static_cast<std::size_t>(n) : 0;
}

std::string Answer(const char* connection) {
  return std::string(
             "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: ") +
         std::to_string(AnswerBody().size()) + "\r\nConnection: " + connection + "\r\n\r\n" +
         AnswerBody();
}

void Serve(SSL_CTX* ctx, platform::Socket socket, bool offer_reuse) {
  static const std::string closing = Answer("close");
  static const std::string keeping = Answer("keep-alive");
  socket.SetTimeouts(kSocketTimeoutMs, kSocketTimeoutMs);
  SslPtr ssl = NewConnection(ctx, socket);
  auto read = [&ssl](char* buffer, std::size_t size) { return ReadSome(ssl.get(), buffer, size); };
  if (SSL_accept(ssl.get()) != 1) {
    ERR_clear_error();
    return;
  }
  for (bool first = true;; first = false) {
    // A kept connection may stay silent as long as a real server would wait.
    if (!first && !socket.WaitReadable(kKeepAliveMs)) break;
    std::string head;
    if (!ReadRequest(read, std::size_t{1} << 20, &head)) break;
    const bool keep = offer_reuse && AsksToKeep(head);
    const std::string& answer = keep ? keeping : closing;
    if (SSL_write(ssl.get(), answer.data(), static_cast<int>(answer.size())) <= 0) break;
    if (!keep) {
      SSL_shutdown(ssl.get());
      break;
    }
  }
  ERR_clear_error();
}

void Worker(SSL_CTX* ctx, platform::Socket& listening, bool offer_reuse) {
  for (;;) {
    try {
      Serve(ctx, listening.Accept(), offer_reuse);
    } catch (const std::exception&) {
      // One connection failed; the next one is served as usual.
    }
  }
}

}  // namespace
}  // namespace vp::bench

int main(int argc, char** argv) {
  using namespace vp::bench;
  return RunTool("vp-bench-upstream", [&] {
    Options options = ParseOptions(argc, argv);
    SslCtxPtr ctx = MakeContext(options);
    vp::platform::Socket listening = vp::platform::Socket::OpenTcp(vp::platform::IpFamily::kV4);
    listening.SetExclusiveAddressUse();
    listening.Bind("127.0.0.1", static_cast<std::uint16_t>(options.port));
    listening.ListenWithSystemMaximumQueue();
    std::printf("port %u\n", listening.LocalPort());
    std::fflush(stdout);
    std::vector<std::thread> workers;
    for (int i = 0; i < options.threads; ++i)
      workers.emplace_back([&] { Worker(ctx.get(), listening, options.offer_reuse); });
    for (std::thread& worker : workers) worker.join();
  });
}
