// "Provjeri vezu" and the check switch: the road from this machine to the authority's endpoints of
// the current mode, walked as a forward walks it (the name looked up or the configured address
// taken, the TCP connection, the TLS handshake) but posting nothing, each step timed, with the
// certificate the endpoint shows. For a shop owner on the telephone with whoever supports them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "http/HttpClient.h"
#include "proxy/ProxyServer.h"
#include "tls/PeerCertificate.h"

namespace vp {

inline constexpr const char* kSwitchCheck = "check";

// Where a road's walk ended when it did not get through.
enum class RoadStep { kNone, kSetup, kResolve, kConnect, kHandshake };

// One endpoint of the mode, walked.
struct RoadCheck {
  bool production = false;
  std::string url;   // where forwards post
  std::string host;  // the host the endpoint must be (the Host header's)
  bool tls = false;  // an https URL
  std::vector<std::string> addresses;
  // Milliseconds each step took; -1 for a step not done.
  std::int64_t resolve_ms = -1, connect_ms = -1, handshake_ms = -1;
  std::string tls_version;  // "TLSv1.2"
  std::optional<PeerCertificate> certificate;
  RoadStep failed_at = RoadStep::kNone;
  std::int64_t failed_ms = 0;  // how long the failed step ran
  std::string failure;         // why, in words, UTF-8

  bool Works() const { return failed_at == RoadStep::kNone; }
};

struct ConnectionReport {
  std::int32_t mode = 0;
  // CallDNS is set: a running proxy may forward to addresses it has found since it started.
  bool discovery_on = false;
  std::vector<RoadCheck> roads;

  // At least one road, and every one gets through. Certificate warnings do not count.
  bool Works() const;
};

// Walks each road the mode forwards on (mode 1: both endpoints; 2: the test one; 3: the production
// one; any other mode: none) with the forward's own client and bounds. Nothing is posted; each
// connection is closed once its handshake is done.
ConnectionReport CheckConnection(const UpstreamSettings& upstream,
                                 const TIdHTTPTimeouts& timeouts = {});
// The report in Croatian, one line each, UTF-8; now (Unix seconds) judges the certificate's end.
std::string FormatConnectionReport(const ConnectionReport& report, std::int64_t now);
// The task: the settings file's roads, printed to the console it was started from. 0 when every
// road gets through (warnings allowed), 1 otherwise.
int RunConnectionCheck();

}  // namespace vp
