// The upstream HTTP client: one HTTP/1.0 POST per call over plain TCP or TLS, redirects followed,
// the answer body handed back only for a 2xx status. With a pool, connections are kept between
// posts and TLS sessions resumed.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "http/HttpClientRequest.h"
#include "http/UpstreamPool.h"
#include "http/UrlSplit.h"
#include "io/BufferedReader.h"
#include "io/IOHandler.h"
#include "platform/Socket.h"
#include "tls/SslClientIOHandler.h"

namespace vp {

inline constexpr const char* kMsgIOHandlerNotValid = "IOHandler value is not valid";
inline constexpr const char* kMsgReadTimedOut = "Read timed out.";
inline constexpr const char* kMsgUnknownProtocol = "Unknown protocol: ";
inline constexpr const char* kMsgInvalidPort = "Invalid port: ";
inline constexpr const char* kMsgTransferCancelled = "Transfer cancelled.";
inline constexpr const char* kMsgTooManyInterimAnswers = "Too many interim answers.";

// The one time value this connection has: the TLS layer's receive and send timeouts. The client
// uses it for each socket call and for the wait until the answer begins, so an upstream that
// accepts and never answers cannot hold a request (and with it any stop of the listener) forever.
inline constexpr int kUpstreamTimeoutMs = 30000;
// The bound on a whole post, from the connect to the last answer byte, redirects included. An
// upstream that sends one byte just inside each socket timeout would otherwise hold the post (and
// the till, and any stop) for as long as it likes. No till waits longer than one socket timeout
// for its answer, so neither does the post.
inline constexpr int kPostTimeoutMs = kUpstreamTimeoutMs;

enum class TWorkMode { wmRead, wmWrite };

// The steps of opening a new connection, each reported once done: the host's addresses found
// (a numeric host gives itself), the TCP connection made, the TLS handshake done (https only).
enum class TConnectStep { kResolved, kConnected, kHandshaken };

class TlsIOHandler;

struct TIdHTTPTimeouts {
  int socket_ms = kUpstreamTimeoutMs;  // each connect, send and receive
  int post_ms = kPostTimeoutMs;        // the whole post
};

class TIdHTTP {
 public:
  TIdHTTP();
  ~TIdHTTP();
  TIdHTTP(const TIdHTTP&) = delete;
  TIdHTTP& operator=(const TIdHTTP&) = delete;

  // Without it a redirect answer is a failure like any other non-2xx status.
  bool HandleRedirects = false;
  // Redirects are counted before the comparison, so at most RedirectMaximum - 1 are followed.
  int RedirectMaximum = 15;
  // The TLS transport, needed for "https" URLs only. Owned.
  std::unique_ptr<TIdSSLIOHandlerSocketOpenSSL> IOHandler;

  // When set, each request asks to keep its connection, a connection whose answer allows it goes
  // back to the pool after the post, and a post takes a kept connection to its target before it
  // opens one; TLS sessions are resumed through the pool's cache. A kept connection that fails
  // before any byte of the answer has come is given up and the request sent once more on a new
  // one (a server may close an idle connection just as our request travels); a new connection's
  // failure is never repeated.
  std::shared_ptr<UpstreamPool> Pool;

  // Runs last while each request is prepared, after Host has been set from the URL.
  std::function<void(TIdHTTPRequest& request)> OnBeforeRequest;
  // The upload of the body, then the download of each answer body: its total (0 when unknown),
  // then the bytes moved so far.
  std::function<void(TWorkMode mode, std::int64_t total)> OnWorkBegin;
  std::function<void(TWorkMode mode, std::int64_t count)> OnWork;
  // After each step of opening a new connection (never for a kept one), with the host's numeric
  // addresses in the order they are tried.
  std::function<void(TConnectStep step, const std::vector<std::string>& addresses)> OnConnectStep;

  // Posts the whole body to url and appends a 2xx answer's body to answer. Throws vp::Error: a
  // status outside 2xx is ErrorKind::kHttpProtocol with the status line as message, the status as
  // code() and the answer body as detail(); answer is then left as it was. A post still under way
  // after kPostTimeoutMs fails with "Read timed out.".
  void Post(const std::string& url, std::string_view body, std::string& answer);
  // Opens a new connection to url as a post would, TLS handshake included, and sends nothing; it
  // stays open until Disconnect. Bounded and failing as a post's connect is.
  void Open(const std::string& url);
  // The open connection's TLS stream; null when none is open or it is plain.
  const TlsIOHandler* TlsConnection() const;

  // Drops the connection at once; a transfer under way, and the rest of the post, fail with
  // "Transfer cancelled.". Safe from any thread, and from the work events. An interruption that
  // comes before a post fails that post at once; once a post has ended the client may post again.
  void Interrupt();
  // Closes the connection, if one is open. Post leaves none open behind it.
  void Disconnect();

  // The URL being requested (the current one while redirects are followed).
  const UrlParts& URL() const { return url_; }
  int ResponseCode() const { return response_code_; }

  // The bounds of the next post; tests of a silent or trickling upstream shorten them.
  TIdHTTPTimeouts Timeouts;

 private:
  struct Target;

  // Returns true when the answer ends the post (body taken, or the redirect limit reached).
  bool Exchange(const std::string& method, std::string_view body, bool with_body,
                std::string& answer, std::string& next_url, int& redirects);
  // One request and its answer on the open connection.
  bool ExchangeOn(const Target& target, const std::string& method, std::string_view body,
                  bool with_body, std::string& answer, std::string& next_url, int& redirects);
  bool ReadAnswer(BufferedReader& reader, std::string& answer, std::string& next_url,
                  int& redirects);
  Target ResolveTarget() const;
  std::string PoolKey(const Target& target) const;
  // A kept connection to the target when the pool has one (returns true), else a new one.
  bool Open(const Target& target);
  void Connect(const Target& target);
  // Makes connection the open one; an interruption already asked for reaches it at once.
  void Adopt(std::unique_ptr<UpstreamConnection> connection);
  // After an answer: the connection goes back to the pool when the answer allows it, else closes.
  void Release();
  void SendRequest(const std::string& method, std::string_view body, bool with_body,
                   const Target& target);
  void ReportWork(TWorkMode mode, std::int64_t count) const;
  void PostWithin(const std::string& url, std::string_view body, std::string& answer);
  // Runs work within Timeouts.post_ms; a run out of time fails with "Read timed out.", an
  // interrupted one with "Transfer cancelled.".
  void RunBounded(const std::function<void()>& work);
  void SetURL(const std::string& url);
  void ReportStep(TConnectStep step, const std::vector<std::string>& addresses) const;
  // The watch's action: the post has run out of time.
  void Expire();

  UrlParts url_;
  int response_code_ = 0;
  std::mutex socket_mutex_;  // the connection's life against Interrupt from another thread
  std::atomic<bool> interrupted_{false};
  std::atomic<bool> expired_{false};
  std::unique_ptr<UpstreamConnection> connection_;  // guarded by socket_mutex_ where it changes
  vp::IOHandler* io_ = nullptr;
  bool keep_ = false;          // the last answer left the connection fit to be kept
  bool answer_begun_ = false;  // a byte of the current answer has arrived
  bool retried_ = false;       // this post has been sent once more already
};

}  // namespace vp
