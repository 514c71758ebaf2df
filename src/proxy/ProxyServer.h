// The proxy server: owns the listener on port 8449, its TLS transport for the HTTPS modes and the
// settings, and routes every request by mode and path.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "http/HttpClient.h"
#include "http/HttpRecords.h"
#include "http/UpstreamPool.h"
#include "proxy/ForwardLog.h"

namespace vp {

class TDNSCallerLink;
class TDNSThread;
class TIdHTTPServer;
class TIdServerIOHandlerSSLOpenSSL;
class TProxySettings;

inline constexpr std::uint16_t kProxyPort = 8449;

inline constexpr const char* kPathTest = "/FiskalizacijaServiceTest";
inline constexpr const char* kPathProduction = "/FiskalizacijaService";
inline constexpr const char* kPathRootCert = "/rootcert";

inline constexpr const char* kMsgBadRequest = "Neispravan zahtjev";
inline constexpr const char* kMsgEmptyRequest = "Prazan zahtjev";
inline constexpr const char* kMsgFileNotAvailable = "Datoteka nije dostupna: ";

// The files beside the program.
inline constexpr const char* kTestKeyFile = "fakeFinaTest.key";
inline constexpr const char* kTestCertFile = "fakeFinaTest.crt";
inline constexpr const char* kProductionKeyFile = "fakeFina.key";
inline constexpr const char* kProductionCertFile = "fakeFina.crt";
inline constexpr const char* kRootCertFile = "fakeFinaCA.crt";

// The settings that decide where a request is forwarded, read once: each a whole value as it stood
// then, safe to keep on any thread.
struct UpstreamSettings {
  std::int32_t mode = 0;
  std::string url_test, url_production, ip_test, ip_production;
};
UpstreamSettings UpstreamSettingsOf(const TProxySettings& settings);

// Where a forward of one request goes.
struct UpstreamTarget {
  std::string url;        // what the forwarder posts to
  std::string host_text;  // the Host header's text; empty: the URL's own
  bool production = false;
};
// The target of a request for path (as the listener decoded it); nullopt when the mode forwards
// no such request (mode 0 or an unknown mode forwards none).
std::optional<UpstreamTarget> UpstreamTargetOf(const UpstreamSettings& settings,
                                               const std::string& path);
// Whether the mode is one that forwards (1, 2 or 3).
bool ModeForwards(std::int32_t mode);

// Whether construction applies the stored Active, or leaves the listener off whatever it says.
enum class TInitialState { kAsStored, kStopped };

class TProxyServer {
 public:
  // Makes the settings (which read the settings file), the listener and the TLS handler, then
  // applies the stored Active. A start failure makes the construction fail with that error.
  // kStopped makes a server that has not tried to listen (Active keeps its stored value), for an
  // owner that must go on after a failed start.
  explicit TProxyServer(std::uint16_t port = kProxyPort,
                        TInitialState initial = TInitialState::kAsStored);
  ~TProxyServer();
  TProxyServer(const TProxyServer&) = delete;
  TProxyServer& operator=(const TProxyServer&) = delete;

  // Stops the listener and starts it again as the settings say. Start errors reach the caller.
  void ApplySettings();
  // Sets Active in memory (not in the file), then applies.
  void SetActive(bool value);
  bool IsActive() const;

  TProxySettings& Settings() { return *settings_; }
  // Every forward's record, and every request that this mode does not forward.
  ForwardLog& Log() { return *log_; }

  // The listener's OnCommandGet handler, on the connection's thread.
  void HandleRequest(TIdContext& context, TIdHTTPRequestInfo& request,
                     TIdHTTPResponseInfo& response);

  // The OnDone of the discovery runs that ApplySettings starts, on the main thread: the found
  // addresses replace IPTest and IPProduction in memory only.
  void DiscoveryDone(TDNSThread& sender);

  // The bounds of each forward's upstream client; tests of silent upstreams shorten them.
  TIdHTTPTimeouts UpstreamTimeouts;

  // The port actually listened on (for tests that ask for port 0).
  std::uint16_t ListeningPortForTesting() const;
  // The upstream connections and TLS sessions kept between forwards.
  UpstreamPool& UpstreamPoolForTesting() { return *upstreams_; }

 private:
  class Forwards;

  void ForwardRequest(const std::string& url, const std::string& host_text, bool production,
                      TIdHTTPResponseInfo& response, const TIdHTTPRequestInfo& request);
  // A record of now, under the current mode.
  ForwardRecord NewRecord() const;
  // Answers "Neispravan zahtjev" and records the request as wrong for the mode.
  void RejectRequest(TIdHTTPResponseInfo& response);
  void ServeRootCertificate(TIdContext& context, TIdHTTPResponseInfo& response);
  void StartDiscovery();
  // Stops the listener. Forwards under way are interrupted first: the stop closes their tills'
  // connections, so nobody could receive their answers, and the stop would wait for them.
  void StopListener();

  // Declared before the listener, whose connection threads use them until they have ended.
  std::unique_ptr<Forwards> forwards_;
  std::unique_ptr<ForwardLog> log_;  // also used by the connection threads
  // Emptied by every stop (and so by every apply), and when the mode the requests are routed by
  // changes, so that nothing made under one set of settings serves the next.
  std::shared_ptr<UpstreamPool> upstreams_;
  std::atomic<int> pooled_mode_{0};
  std::unique_ptr<TIdHTTPServer> listener_;
  std::unique_ptr<TIdServerIOHandlerSSLOpenSSL> tls_handler_;
  std::unique_ptr<TProxySettings> settings_;
  // Detached on destruction, so that no pending discovery run calls into a destroyed server.
  std::shared_ptr<TDNSCallerLink> dns_link_;
};

// The host of a URL as the Host header names it: no port, nothing after a ':'.
std::string HostOfURL(const std::string& url);
// The folder of the program's own files (the certificates of the HTTPS modes), with its trailing
// delimiter: the running program's folder, or the settings folder (kSettingsFolderName under the
// machine-wide data folder) where the program's folder holds none of its files.
std::string AppFileFolder();
// AppFileFolder() followed by name.
std::string AppFilePath(const std::string& name);

}  // namespace vp
