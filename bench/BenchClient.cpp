// The benchmark's point-of-sale programs: C threads, each posting the fixed SOAP request again and
// again, on a new connection with a full handshake every time (no session is ever resumed), over
// plain HTTP, TLS 1.0 or TLS 1.2. A request counts as good only when the answer has status 200 and
// its body is the upstream's document byte for byte.
//
//   vp-bench-client --port N --transport plain|tls1.0|tls1.2 --concurrency C
//                   [--requests N] [--seconds S] [--host 127.0.0.1] [--latencies FILE]
//                   [--no-tickets] [--pause-ms MS]
//
// Stops after N requests or S seconds, whichever comes first, and prints one line:
//   rps=R p50_ms=X p99_ms=Y good=G bad=B seconds=T
// with rps counting good requests only and the percentiles taken by nearest rank over them. With
// --latencies, the time of every good request (ms) is appended to FILE, one a line, so that runs
// taken in rounds can be summed up. --no-tickets leaves the session ticket extension out of the
// hello, as older clients do; a server then keeps each session in its cache instead. --pause-ms
// makes each client wait that long before each request, as a till does between receipts.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BenchMain.h"
#include "BenchTls.h"
#include "SoapTexts.h"
#include "base/Error.h"

namespace vp::bench {
namespace {

using Clock = std::chrono::steady_clock;

// Well above any answer of a healthy road; a request that takes longer counts as bad.
constexpr int kSocketTimeoutMs = 30000;
constexpr std::size_t kMaxAnswerBytes = 1 << 20;

enum class Transport { kPlain, kTls10, kTls12 };

struct Options {
  std::string host = "127.0.0.1";
  int port = 0;
  Transport transport = Transport::kPlain;
  int concurrency = 1;
  long requests = 1000;
  double seconds = 10;
  std::string latencies_file;
  bool tickets = true;
  int pause_ms = 0;
};

Transport ParseTransport(const std::string& text) {
  if (text == "plain") return Transport::kPlain;
  if (text == "tls1.0") return Transport::kTls10;
  if (text == "tls1.2") return Transport::kTls12;
  throw std::runtime_error("unknown transport " + text);
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; i += 2) {
    std::string name = argv[i];
    if (name == "--no-tickets") {
      options.tickets = false;
      --i;
      continue;
    }
    if (i + 1 == argc) throw std::runtime_error("no value for " + name);
    const char* value = argv[i + 1];
    if (name == "--host")
      options.host = value;
    else if (name == "--port")
      options.port = std::atoi(value);
    else if (name == "--transport")
      options.transport = ParseTransport(value);
    else if (name == "--concurrency")
      options.concurrency = std::atoi(value);
    else if (name == "--requests")
      options.requests = std::atol(value);
    else if (name == "--seconds")
      options.seconds = std::atof(value);
    else if (name == "--latencies")
      options.latencies_file = value;
    else if (name == "--pause-ms")
      options.pause_ms = std::atoi(value);
    else
      throw std::runtime_error("unknown option " + name);
  }
  if (options.port <= 0 || options.concurrency < 1 || options.requests < 1 || options.seconds <= 0)
    throw std::runtime_error(
        "usage: vp-bench-client --port N --transport plain|tls1.0|tls1.2 --concurrency C "
        "[--requests N] [--seconds S] [--host ADDRESS] [--latencies FILE] [--no-tickets] "
        "[--pause-ms MS]");
  return options;
}

SslCtxPtr MakeContext(const Options& options) {
  if (options.transport == Transport::kPlain) return nullptr;
  SslCtxPtr ctx(SSL_CTX_new(TLS_client_method()));
  if (!ctx) throw std::runtime_error(TlsErrorText("SSL_CTX_new"));
  PinVersion(ctx.get(), options.transport == Transport::kTls10 ? TLS1_VERSION : TLS1_2_VERSION);
  // Like a till that keeps no sessions: every connection is a full handshake.
  SSL_CTX_set_session_cache_mode(ctx.get(), SSL_SESS_CACHE_OFF);
  SSL_CTX_set_options(ctx.get(),
                      SSL_OP_IGNORE_UNEXPECTED_EOF | (options.tickets ? 0 : SSL_OP_NO_TICKET));
  return ctx;
}

const std::string& Request() {
  static const std::string request =
      std::string("POST ") + kBenchPath + " HTTP/1.1\r\nHost: " + kBenchHost +
      "\r\nContent-Type: text/xml; charset=utf-8\r\nSOAPAction: \"http://e-porezna.porezna-"
      "uprava.hr/fiskalizacija/2012/services/FiskalizacijaService/racuni\"\r\nContent-Length: " +
      std::to_string(RequestBody().size()) + "\r\nConnection: close\r\n\r\n" + RequestBody();
  return request;
}

// A 200 whose body, after the head, is exactly the upstream's document.
bool IsGoodAnswer(const std::string& answer) {
  if (answer.compare(0, 7, "HTTP/1.") != 0 || answer.compare(8, 5, " 200 ") != 0) return false;
  std::size_t head_end = answer.find("\r\n\r\n");
  return head_end != std::string::npos &&
         answer.compare(head_end + 4, std::string::npos, AnswerBody()) == 0;
}

// One request on a fresh connection; the answer is read until the server closes.
std::string Exchange(const Options& options, SSL_CTX* ctx) {
  platform::Socket socket =
      platform::Socket::ConnectTcp(options.host, static_cast<std::uint16_t>(options.port));
  socket.SetTimeouts(kSocketTimeoutMs, kSocketTimeoutMs);
  std::string answer;
  char buffer[16 * 1024];
  if (!ctx) {
    socket.SendAll(Request());
    while (answer.size() < kMaxAnswerBytes) {
      std::size_t n = socket.Receive(buffer, sizeof buffer);
      if (n == 0) break;
      answer.append(buffer, n);
    }
    return answer;
  }
  SslPtr ssl = NewConnection(ctx, socket);
  SSL_set_tlsext_host_name(ssl.get(), kBenchHost);
  if (SSL_connect(ssl.get()) != 1) throw std::runtime_error(TlsErrorText("handshake"));
  const std::string& request = Request();
  if (SSL_write(ssl.get(), request.data(), static_cast<int>(request.size())) <= 0)
    throw std::runtime_error(TlsErrorText("write"));
  while (answer.size() < kMaxAnswerBytes) {
    int n = SSL_read(ssl.get(), buffer, sizeof buffer);
    if (n <= 0) break;
    answer.append(buffer, static_cast<std::size_t>(n));
  }
  ERR_clear_error();
  return answer;
}

struct Totals {
  std::mutex mutex;
  std::vector<double> latencies_ms;  // good requests only
  long bad = 0;
  std::string first_error;
};

void Worker(const Options& options, SSL_CTX* ctx, Clock::time_point deadline,
            std::atomic<long>& issued, Totals& totals) {
  std::vector<double> latencies;
  long bad = 0;
  std::string first_error;
  while (issued.fetch_add(1) < options.requests && Clock::now() < deadline) {
    if (options.pause_ms > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(options.pause_ms));
    Clock::time_point start = Clock::now();
    bool good = false;
    try {
      good = IsGoodAnswer(Exchange(options, ctx));
      if (!good && first_error.empty()) first_error = "answer was not the upstream's document";
    } catch (const std::exception& error) {
      if (first_error.empty()) first_error = error.what();
    }
    std::chrono::duration<double, std::milli> took = Clock::now() - start;
    if (good)
      latencies.push_back(took.count());
    else
      ++bad;
  }
  std::lock_guard<std::mutex> lock(totals.mutex);
  totals.latencies_ms.insert(totals.latencies_ms.end(), latencies.begin(), latencies.end());
  totals.bad += bad;
  if (totals.first_error.empty()) totals.first_error = first_error;
}

// The smallest value with at least p percent of the values at or below it.
double NearestRank(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  std::size_t rank = static_cast<std::size_t>(std::ceil(p / 100.0 * sorted.size()));
  return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

void AppendLatencies(const std::string& file, const std::vector<double>& latencies) {
  std::FILE* out = std::fopen(file.c_str(), "a");
  if (!out) throw std::runtime_error("cannot write " + file);
  for (double latency : latencies) std::fprintf(out, "%.3f\n", latency);
  std::fclose(out);
}

}  // namespace
}  // namespace vp::bench

int main(int argc, char** argv) {
  using namespace vp::bench;
  return RunTool("vp-bench-client", [&] {
    Options options = ParseOptions(argc, argv);
    SslCtxPtr ctx = MakeContext(options);
    Totals totals;
    std::atomic<long> issued{0};
    Clock::time_point start = Clock::now();
    Clock::time_point deadline = start + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(options.seconds));
    std::vector<std::thread> workers;
    for (int i = 0; i < options.concurrency; ++i)
      workers.emplace_back([&] { Worker(options, ctx.get(), deadline, issued, totals); });
    for (std::thread& worker : workers) worker.join();
    std::chrono::duration<double> elapsed = Clock::now() - start;

    std::vector<double>& latencies = totals.latencies_ms;
    std::sort(latencies.begin(), latencies.end());
    if (!options.latencies_file.empty()) AppendLatencies(options.latencies_file, latencies);
    std::printf("rps=%.1f p50_ms=%.2f p99_ms=%.2f good=%zu bad=%ld seconds=%.2f\n",
                static_cast<double>(latencies.size()) / elapsed.count(), NearestRank(latencies, 50),
                NearestRank(latencies, 99), latencies.size(), totals.bad, elapsed.count());
    if (totals.bad)
      std::fprintf(stderr, "vp-bench-client: first failure: %s\n", totals.first_error.c_str());
    return 0;
  });
}
