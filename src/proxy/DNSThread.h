// Address discovery: a one-shot background run that asks a DNS resolver directly (past the hosts
// file, which points the authority's names at this machine) for the IPv4 addresses of the test
// and the production host, and hands both back on the main thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "dns/DnsResolver.h"

namespace vp {

// A resolver that answers without an address is asked again after this pause, so a name that
// has none does not turn into a flood of queries.
inline constexpr int kDiscoveryRetryPauseMs = 1000;
// The whole run, both hosts, ends after this; a resolver that never answers cannot keep a run
// alive for the program's lifetime.
inline constexpr int kDiscoveryRunLimitMs = 2 * 60 * 1000;

class TDNSThread;

using TDNSDoneEvent = std::function<void(TDNSThread& sender)>;

// Shared between a caller and the runs it started. The caller detaches it when it goes away; a
// run calls back only through it, on the main thread, so no run reaches a destroyed caller.
class TDNSCallerLink {
 public:
  // After this returns no callback is running or will run. Waits for one that is running on
  // the main thread when called from another thread (the service's control thread).
  void Detach();
  // Runs call while still attached, holding the link for its whole length. Recursive, so that a
  // callback may itself destroy its caller (a dialog closed from inside its own callback).
  bool RunIfAttached(const std::function<void()>& call);

 private:
  std::recursive_mutex mutex_;
  bool attached_ = true;
};

// Where discovery sends its queries.
struct TDNSResolverAddress {
  std::string host;
  std::uint16_t port = 0;
};

// The DNSServer setting as a resolver: a numeric IPv4 address, optionally with ":" and a port;
// anything else (empty, a name, a malformed address) gives kDefaultDNSServer on port 53.
TDNSResolverAddress ResolverAddressOf(const std::string& dns_server);

// How long a run waits and retries; changed only by tests.
struct TDNSTiming {
  int query_wait_ms = kDefaultDnsWaitingTimeMs;  // per query, the wait for a reply
  int retry_pause_ms = kDiscoveryRetryPauseMs;   // after a round that brought no address
  int run_limit_ms = kDiscoveryRunLimitMs;       // reaching it ends the run without OnDone
};

class TDNSThread {
 public:
  // Starts the run at once on a detached thread of its own; the object frees itself when the
  // run ends, so the caller keeps no pointer to it. on_done may be empty. With a link, on_done is
  // called only while the link is attached; without one the caller must outlive every run.
  static void Start(std::string test_url, std::string production_url, const std::string& dns_server,
                    TDNSDoneEvent on_done, std::shared_ptr<TDNSCallerLink> link);

  TDNSThread(const TDNSThread&) = delete;
  TDNSThread& operator=(const TDNSThread&) = delete;

  // Valid inside OnDone only: the address, ":" and the URL's port text (a lone ":" without one).
  const std::string& TestResult() const { return test_result_; }
  const std::string& ProductionResult() const { return production_result_; }

  static void SetTimingForTesting(const TDNSTiming& timing);
  static TDNSTiming DefaultTiming() { return TDNSTiming{}; }
  // Runs not yet ended, so tests can wait for them to finish.
  static int LiveRunsForTesting();

 private:
  TDNSThread(std::string test_url, std::string production_url, TDNSResolverAddress resolver,
             TDNSDoneEvent on_done, std::shared_ptr<TDNSCallerLink> link);
  ~TDNSThread();

  void Execute();
  // False when the run should end without reporting (the time limit was reached).
  bool Run();
  bool LookupUntilFound(const std::string& host, std::string& address);
  std::string LookupHostIP(const std::string& host) const;
  void ReportDone();

  std::string test_url_;
  std::string production_url_;
  std::string test_result_;
  std::string production_result_;
  TDNSDoneEvent on_done_;
  std::shared_ptr<TDNSCallerLink> link_;
  TDNSResolverAddress resolver_;
  TDNSTiming timing_;
  std::chrono::steady_clock::time_point deadline_;
};

}  // namespace vp
