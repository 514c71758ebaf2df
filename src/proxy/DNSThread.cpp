// The discovery run: test host first, then production host, each asked again until an address
// arrives, within a time limit; then the callback on the main thread.
#include "proxy/DNSThread.h"

#include <charconv>
#include <thread>

#include "dns/DnsResolver.h"
#include "http/UrlSplit.h"
#include "platform/MainThread.h"
#include "proxy/ProxySettings.h"

namespace vp {
namespace {

// Trivially destructible, so detached runs still alive at program end never see them destroyed.
std::atomic<int> g_query_wait_ms{TDNSTiming{}.query_wait_ms};
std::atomic<int> g_retry_pause_ms{TDNSTiming{}.retry_pause_ms};
std::atomic<int> g_run_limit_ms{TDNSTiming{}.run_limit_ms};
std::atomic<int> g_live_runs{0};

TDNSTiming CurrentTiming() {
  return TDNSTiming{g_query_wait_ms.load(), g_retry_pause_ms.load(), g_run_limit_ms.load()};
}

// A decimal number without sign or leading zero, at most max.
bool ParseNumber(std::string_view text, unsigned max, unsigned& value) {
  if (text.empty() || text.size() > 5 || (text.size() > 1 && text[0] == '0')) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value <= max;
}

bool IsDottedIPv4(std::string_view text) {
  for (int part = 0; part < 4; ++part) {
    std::size_t dot = part < 3 ? text.find('.') : text.size();
    if (dot == std::string_view::npos) return false;
    unsigned value = 0;
    if (!ParseNumber(text.substr(0, dot), 255, value)) return false;
    text.remove_prefix(part < 3 ? dot + 1 : dot);
  }
  return text.empty();
}

}  // namespace

void TDNSCallerLink::Detach() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  attached_ = false;
}

bool TDNSCallerLink::RunIfAttached(const std::function<void()>& call) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!attached_) return false;
  call();
  return true;
}

TDNSResolverAddress ResolverAddressOf(const std::string& dns_server) {
  TDNSResolverAddress fallback{kDefaultDNSServer, kDnsPort};
  std::string_view text = dns_server;
  std::size_t colon = text.find(':');
  std::string_view address = text.substr(0, colon);
  if (!IsDottedIPv4(address)) return fallback;
  unsigned port = kDnsPort;
  if (colon != std::string_view::npos &&
      (!ParseNumber(text.substr(colon + 1), 65535, port) || port == 0))
    return fallback;
  return TDNSResolverAddress{std::string(address), static_cast<std::uint16_t>(port)};
}

void TDNSThread::SetTimingForTesting(const TDNSTiming& timing) {
  g_query_wait_ms = timing.query_wait_ms;
  g_retry_pause_ms = timing.retry_pause_ms;
  g_run_limit_ms = timing.run_limit_ms;
}

int TDNSThread::LiveRunsForTesting() { return g_live_runs.load(); }

void TDNSThread::Start(std::string test_url, std::string production_url,
                       const std::string& dns_server, TDNSDoneEvent on_done,
                       std::shared_ptr<TDNSCallerLink> link) {
  auto* run = new TDNSThread(std::move(test_url), std::move(production_url),
                             ResolverAddressOf(dns_server), std::move(on_done), std::move(link));
  try {
    std::thread([run] { run->Execute(); }).detach();
  } catch (...) {
    delete run;
    throw;
  }
}

TDNSThread::TDNSThread(std::string test_url, std::string production_url,
                       TDNSResolverAddress resolver, TDNSDoneEvent on_done,
                       std::shared_ptr<TDNSCallerLink> link)
    : test_url_(std::move(test_url)),
      production_url_(std::move(production_url)),
      on_done_(std::move(on_done)),
      link_(std::move(link)),
      resolver_(std::move(resolver)),
      timing_(CurrentTiming()) {
  ++g_live_runs;
}

TDNSThread::~TDNSThread() { --g_live_runs; }

void TDNSThread::Execute() {
  try {
    if (Run()) ReportDone();
  } catch (...) {
    // A lookup error ends the run quietly: the caller keeps the addresses it had.
  }
  delete this;
}

bool TDNSThread::Run() {
  deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(timing_.run_limit_ms);
  test_result_.clear();
  production_result_.clear();
  UrlParts test = SplitUrl(test_url_);
  std::string address;
  if (!LookupUntilFound(test.host, address)) return false;
  test_result_ = address + ":" + test.port;
  UrlParts production = SplitUrl(production_url_);
  if (!LookupUntilFound(production.host, address)) return false;
  production_result_ = address + ":" + production.port;
  return true;
}

bool TDNSThread::LookupUntilFound(const std::string& host, std::string& address) {
  auto pause = std::chrono::milliseconds(timing_.retry_pause_ms);
  for (;;) {
    address = LookupHostIP(host);
    if (!address.empty()) return true;
    if (std::chrono::steady_clock::now() + pause >= deadline_) return false;
    std::this_thread::sleep_for(pause);
  }
}

std::string TDNSThread::LookupHostIP(const std::string& host) const {
  TIdDNSResolver resolver;
  resolver.Host = resolver_.host;
  resolver.Port = resolver_.port;
  resolver.QueryType = TQueryType{TQueryRecordType::qtA};
  resolver.WaitingTime = timing_.query_wait_ms;
  resolver.ResolveName(host, kDnsClassIN);
  const TQueryResult& records = resolver.QueryResult();
  for (std::size_t i = 0; i < records.Count(); ++i)
    if (const auto* a = dynamic_cast<const TARecord*>(&records[i])) return a->IPAddress;
  return {};
}

void TDNSThread::ReportDone() {
  if (!on_done_) return;
  platform::Synchronize([this] {
    if (!link_) {
      on_done_(*this);
      return;
    }
    link_->RunIfAttached([this] { on_done_(*this); });
  });
}

}  // namespace vp
