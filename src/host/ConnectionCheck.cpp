// Walking the roads of the mode with the forwarder's own client, and the report in words.
#include "host/ConnectionCheck.h"

#include <chrono>
#include <utility>

#include "base/AsciiText.h"
#include "base/Error.h"
#include "http/HttpDate.h"
#include "http/UrlSplit.h"
#include "platform/CodePage.h"
#include "platform/Console.h"
#include "proxy/ForwardRecord.h"
#include "proxy/ForwardWords.h"
#include "proxy/KesHttp.h"
#include "proxy/ProxySettings.h"
#include "tls/SslLibrary.h"

namespace vp {
namespace {

constexpr std::int64_t kSecondsPerDay = 24 * 60 * 60;
// A certificate that ends sooner than this is worth a word: the authority's renewal, or a clock
// gone wrong on this machine, is then a matter of days.
constexpr std::int64_t kExpiryWarningDays = 30;

using Clock = std::chrono::steady_clock;

// Milliseconds since mark; mark moves on to now.
std::int64_t Lap(Clock::time_point& mark) {
  Clock::time_point now = Clock::now();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - mark).count();
  mark = now;
  return ms;
}

void Fail(RoadCheck& road, const std::exception& error, Clock::time_point& mark) {
  road.failed_ms = Lap(mark);
  const auto* known = dynamic_cast<const Error*>(&error);
  const ErrorKind kind = known ? known->kind() : ErrorKind::kGeneric;
  if (kind == ErrorKind::kSslLibrary) {
    road.failed_at = RoadStep::kSetup;
    road.failure = "TLS biblioteka (OpenSSL) nije dostupna uz program";
    return;
  }
  ForwardRecord record;
  ClassifyFailure(error, record);
  // The words the window and the event log use for a forward that failed this way, and the
  // error's own text for whoever supports the shop.
  road.failure = DescribeOutcome(record) + " (" + platform::Utf8FromAnsi(record.reason) + ")";
  if (road.connect_ms >= 0)
    road.failed_at = RoadStep::kHandshake;
  else if (road.resolve_ms >= 0)
    road.failed_at = RoadStep::kConnect;
  else if (kind == ErrorKind::kSocket || kind == ErrorKind::kSocketTimeout)
    road.failed_at = RoadStep::kResolve;
  else
    road.failed_at = RoadStep::kSetup;  // the URL itself (its scheme, its port)
}

RoadCheck CheckRoad(const UpstreamTarget& target, const TIdHTTPTimeouts& timeouts) {
  RoadCheck road;
  road.production = target.production;
  road.url = target.url;
  UrlParts parts = SplitUrl(target.url);
  road.host = target.host_text.empty() ? parts.host : target.host_text;
  road.tls = EqualsNoCase(parts.scheme, "https");
  Clock::time_point mark = Clock::now();
  try {
    // Set up as the proxy sets up each forward.
    TKesHttp http;
    http.Http->Timeouts = timeouts;
    http.HostHeader = target.host_text;
    http.DisablePeerVerification();
    http.Http->OnConnectStep = [&](TConnectStep step, const std::vector<std::string>& addresses) {
      if (step == TConnectStep::kResolved) {
        road.addresses = addresses;
        road.resolve_ms = Lap(mark);
      }
      if (step == TConnectStep::kConnected) road.connect_ms = Lap(mark);
      if (step == TConnectStep::kHandshaken) road.handshake_ms = Lap(mark);
    };
    // Loaded now, as the first forward of a process would load it, so that the handshake's time
    // is the network's.
    if (road.tls) SslLibrary::Get();
    mark = Clock::now();
    http.Http->Open(target.url);
    if (const TlsIOHandler* tls = http.Http->TlsConnection()) {
      road.tls_version = tls->ProtocolVersion();
      road.certificate = DescribePeerCertificate(*tls, road.host, UnixTimeNow());
    }
  } catch (const std::exception& error) {
    Fail(road, error, mark);
  }
  return road;
}

// "08.12.2026. 04:13 UTC"
std::string FormatDate(std::int64_t unix_seconds) {
  std::string iso = FormatIsoUtc(unix_seconds);  // 2026-12-08T04:13:52Z
  return iso.substr(8, 2) + "." + iso.substr(5, 2) + "." + iso.substr(0, 4) + ". " +
         iso.substr(11, 5) + " UTC";
}

std::string Ms(std::int64_t ms) { return std::to_string(ms) + " ms"; }

std::string Failed(const RoadCheck& road) {
  return "nije uspjelo (" + Ms(road.failed_ms) + "): " + road.failure;
}

// Whether the host is an address already, so that nothing was looked up.
bool Configured(const RoadCheck& road, const std::string& url_host) {
  return road.addresses.size() == 1 && road.addresses[0] == url_host;
}

std::string JoinAddresses(const std::vector<std::string>& addresses) {
  std::string text;
  for (const std::string& address : addresses) text += (text.empty() ? "" : ", ") + address;
  return text;
}

void AppendSteps(const RoadCheck& road, std::string& text) {
  UrlParts parts = SplitUrl(road.url);
  const std::string url_host = platform::Utf8FromAnsi(parts.host);
  if (road.failed_at == RoadStep::kSetup) {
    text += "  Provjera nije moguća: " + road.failure + "\n";
    return;
  }
  if (road.failed_at == RoadStep::kResolve) {
    text += "  Traženje adrese za " + url_host + ": " + Failed(road) + "\n";
    return;
  }
  if (Configured(road, parts.host))
    text += "  Adresa iz podešavanja: " + url_host + "\n";
  else
    text += "  Traženje adrese za " + url_host + ": " + JoinAddresses(road.addresses) + " (" +
            Ms(road.resolve_ms) + ")\n";
  const std::string port = parts.port.empty() ? (road.tls ? "443" : "80") : parts.port;
  text += "  Spajanje na port " + platform::Utf8FromAnsi(port) + ": ";
  if (road.failed_at == RoadStep::kConnect) {
    text += Failed(road) + "\n";
    return;
  }
  text += "uspjelo (" + Ms(road.connect_ms) + ")\n";
  if (!road.tls) {
    text += "  Zaštićena veza (TLS): nema, adresa počinje s http://\n";
    return;
  }
  if (road.failed_at == RoadStep::kHandshake) {
    text += "  TLS rukovanje: " + Failed(road) + "\n";
    return;
  }
  text += "  TLS rukovanje: uspjelo (" + Ms(road.handshake_ms) + "), " + road.tls_version + "\n";
}

void AppendCertificate(const RoadCheck& road, std::int64_t now, std::string& text) {
  if (!road.Works() || !road.tls) return;
  if (!road.certificate) {
    text += "  Upozorenje: poslužitelj nije poslao certifikat.\n";
    return;
  }
  const PeerCertificate& certificate = *road.certificate;
  text += "  Certifikat izdan za: " + certificate.subject + "\n";
  text += "  Izdavatelj: " + certificate.issuer + "\n";
  text += "  Vrijedi do: " + FormatDate(certificate.not_after) + "\n";
  const std::int64_t left = certificate.not_after - now;
  if (left <= 0)
    text += "  Upozorenje: certifikat je istekao.\n";
  else if (left < kExpiryWarningDays * kSecondsPerDay)
    text +=
        "  Upozorenje: certifikat istječe za " + std::to_string(left / kSecondsPerDay) + " dana.\n";
  if (!certificate.names_host)
    text += "  Upozorenje: certifikat ne glasi na " + platform::Utf8FromAnsi(road.host) + ".\n";
}

}  // namespace

bool ConnectionReport::Works() const {
  if (roads.empty()) return false;
  for (const RoadCheck& road : roads)
    if (!road.Works()) return false;
  return true;
}

ConnectionReport CheckConnection(const UpstreamSettings& upstream,
                                 const TIdHTTPTimeouts& timeouts) {
  ConnectionReport report;
  report.mode = upstream.mode;
  for (const char* path : {kPathTest, kPathProduction})
    if (std::optional<UpstreamTarget> target = UpstreamTargetOf(upstream, path))
      report.roads.push_back(CheckRoad(*target, timeouts));
  return report;
}

std::string FormatConnectionReport(const ConnectionReport& report, std::int64_t now) {
  std::string text = "Provjera veze, način rada " + std::to_string(report.mode) + ".\n";
  if (report.roads.empty())
    return text + "U ovom načinu rada proxy ništa ne prosljeđuje, pa nema veze za provjeru.\n";
  for (const RoadCheck& road : report.roads) {
    text += road.production ? "Produkcijski poslužitelj" : "Testni poslužitelj";
    if (road.host != SplitUrl(road.url).host) text += " " + platform::Utf8FromAnsi(road.host);
    text += ": " + platform::Utf8FromAnsi(road.url) + "\n";
    AppendSteps(road, text);
    AppendCertificate(road, now, text);
    text += road.Works() ? "  Veza radi.\n" : "  Veza ne radi.\n";
  }
  if (report.discovery_on && report.mode != kModeHttp)
    text +=
        "Napomena: uključeno je dobavljanje IP adresa preko DNS-a, pa proxy koji radi možda "
        "koristi adresu dobavljenu nakon pokretanja.\n";
  return text;
}

int RunConnectionCheck() {
  platform::UseParentConsole();
  TProxySettings settings;
  ConnectionReport report = CheckConnection(UpstreamSettingsOf(settings));
  report.discovery_on = settings.CallDNS;
  platform::PrintOutput(FormatConnectionReport(report, UnixTimeNow()));
  return report.Works() ? 0 : 1;
}

}  // namespace vp
