// The upstream forwarder around the HTTP client.
#include "proxy/KesHttp.h"

#include <cmath>
#include <limits>
#include <mutex>
#include <utility>

#include "tls/SslLibrary.h"

namespace vp {
namespace {

// The seam for the machine's certificate store check; the proxy switches verification off, so on
// its road this never runs.
std::mutex g_trust_mutex;
TKesHttp::TrustCheck& TrustCheckHook() {
  static TKesHttp::TrustCheck check = [](SslCertificateHandle, const std::string&) {
    return false;
  };
  return check;
}

bool CheckTrust(SslCertificateHandle certificate, const std::string& host) {
  TKesHttp::TrustCheck check;
  {
    std::lock_guard<std::mutex> lock(g_trust_mutex);
    check = TrustCheckHook();
  }
  return check && check(certificate, host);
}

}  // namespace

std::int32_t ProgressPercentage(std::int64_t count, std::int32_t work_max) {
  double exact = static_cast<double>(count) / static_cast<double>(work_max) * 100.0;
  double floor = std::floor(exact);
  double fraction = exact - floor;
  double rounded = floor;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0)) rounded = floor + 1.0;
  constexpr double kMin = std::numeric_limits<std::int32_t>::min();
  constexpr double kMax = std::numeric_limits<std::int32_t>::max();
  if (!(rounded >= kMin)) return std::numeric_limits<std::int32_t>::min();
  if (rounded > kMax) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(rounded);
}

void TKesHttp::SetTrustCheck(TrustCheck check) {
  std::lock_guard<std::mutex> lock(g_trust_mutex);
  TrustCheckHook() = std::move(check);
}

TKesHttp::TKesHttp() : Http(std::make_unique<TIdHTTP>()) {
  Http->HandleRedirects = true;
  Http->OnWorkBegin = [this](TWorkMode, std::int64_t total) { WorkBegin(total); };
  Http->OnWork = [this](TWorkMode, std::int64_t count) { Progress(count); };
  Http->OnBeforeRequest = [this](TIdHTTPRequest& request) { ApplyHostHeader(request); };
  // The TLS layer loads the library itself on first use; this only decides whether https can work.
  if (SslLibraryFilesPresent()) {
    auto tls = std::make_unique<TIdSSLIOHandlerSocketOpenSSL>();
    tls->SSLOptions.SetSSLVersions(
        {TIdSSLVersion::sslvTLSv1, TIdSSLVersion::sslvTLSv1_1, TIdSSLVersion::sslvTLSv1_2});
    tls->SSLOptions.VerifyMode = {TIdSSLVerifyMode::sslvrfPeer};
    tls->OnVerifyPeer = [this](SslCertificateHandle certificate, bool ok, int depth, int error) {
      return VerifyPeer(certificate, ok, depth, error);
    };
    Http->IOHandler = std::move(tls);
  }
  Reset();
}

TKesHttp::~TKesHttp() {
  // A TLS connection depends on its handler, so it closes before the handler goes; then the
  // client.
  Http->Disconnect();
  Http->IOHandler.reset();
  Http.reset();
}

void TKesHttp::Reset() { Status.Reset(); }

void TKesHttp::Cancel() {
  Status.Cancel();
  Http->Interrupt();
}

void TKesHttp::DisablePeerVerification() {
  if (Http->IOHandler) Http->IOHandler->SSLOptions.VerifyMode.clear();
}

void TKesHttp::Post(const std::string& url, std::string_view body, std::string& answer) {
  Http->Post(url, body, answer);
}

bool TKesHttp::VerifyPeer(SslCertificateHandle certificate, bool ok, int, int) {
  if (ok) return true;
  return CheckTrust(certificate, Http->URL().host);
}

void TKesHttp::ApplyHostHeader(TIdHTTPRequest& request) {
  if (!HostHeader.empty()) request.Host = HostHeader;
}

void TKesHttp::WorkBegin(std::int64_t total) {
  WorkMax = static_cast<std::int32_t>(static_cast<std::uint32_t>(total));
  Progress(0);
}

void TKesHttp::Progress(std::int64_t count) {
  // Without an announced total there is no percentage to give.
  if (!OnProgress || WorkMax == 0) return;
  bool cancel = false;
  OnProgress(ProgressPercentage(count, WorkMax), cancel);
  if (cancel) Cancel();
}

}  // namespace vp
