// The upstream forwarder: an HTTP client with a TLS handler that replaces the Host header and
// reports progress with cancellation. The client names the URL's host as the TLS server itself.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "http/HttpClient.h"
#include "tls/SslClientIOHandler.h"

namespace vp {

struct TKesHttpStatus {
  bool Cancelled = false;
  // Free for the wrapper's users; nothing in the proxy fills them.
  std::string Message;
  std::string Detail;

  void Reset() {
    Cancelled = false;
    Message.clear();
    Detail.clear();
  }
  void Cancel() { Cancelled = true; }
};

class TKesHttp {
 public:
  TKesHttp();
  ~TKesHttp();
  TKesHttp(const TKesHttp&) = delete;
  TKesHttp& operator=(const TKesHttp&) = delete;

  // Redirects followed; the TLS handler attached only when the TLS library files are present.
  std::unique_ptr<TIdHTTP> Http;
  // The total the client announced when its current transfer began (low 32 bits).
  std::int32_t WorkMax = 0;
  TKesHttpStatus Status;
  // A percentage of the current transfer; setting the flag cancels the post.
  std::function<void(std::int32_t percentage, bool& cancel)> OnProgress;
  // Replaces the Host header of every request when not empty.
  std::string HostHeader;

  void Reset();
  // Marks the status cancelled and drops the connection at once; the post under way fails.
  void Cancel();

  // Switches peer certificate checks off. Without a TLS handler there is nothing to switch, and a
  // post to an "http" URL still works.
  void DisablePeerVerification();
  // One POST of the whole body; the answer body is appended to answer. Throws on any failure.
  void Post(const std::string& url, std::string_view body, std::string& answer);

  // The TLS handler's event.
  bool VerifyPeer(SslCertificateHandle certificate, bool ok, int depth, int error);

  // The trust check behind VerifyPeer for certificates the TLS library refused: whether the
  // certificate chains to a root the machine trusts for server authentication and matches the
  // host (no name check for an empty host). The certificate store lives in a layer above this
  // one, which sets it at program start (UseCertStoreForForwarderTrust); until then, and after
  // a null check, nothing is trusted.
  using TrustCheck = std::function<bool(SslCertificateHandle certificate, const std::string& host)>;
  static void SetTrustCheck(TrustCheck check);

 private:
  void ApplyHostHeader(TIdHTTPRequest& request);
  void WorkBegin(std::int64_t total);
  void Progress(std::int64_t count);
};

// count / work_max × 100 rounded to the nearest integer, halves to the even neighbour, within
// the range of the result.
std::int32_t ProgressPercentage(std::int64_t count, std::int32_t work_max);

}  // namespace vp
