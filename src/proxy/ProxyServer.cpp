// Routing of requests by mode and path, and the listener's life as the settings say.
#include "proxy/ProxyServer.h"

#include <chrono>
#include <mutex>
#include <set>

#include "base/Error.h"
#include "http/HttpDate.h"
#include "http/HttpServer.h"
#include "http/UrlSplit.h"
#include "platform/FileSystem.h"
#include "proxy/DNSThread.h"
#include "proxy/KesHttp.h"
#include "proxy/ProxySettings.h"
#include "tls/SslServerIOHandler.h"

namespace vp {

// The forwards under way, so that a stop can interrupt them.
class TProxyServer::Forwards {
 public:
  // Registers a forward for as long as it lives; false while a stop is under way, and the caller
  // must then not forward at all.
  bool Enter(TKesHttp& http) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return false;
    running_.insert(&http);
    return true;
  }
  void Leave(TKesHttp& http) {
    std::lock_guard<std::mutex> lock(mutex_);
    running_.erase(&http);
  }
  // Interrupts every forward under way and turns new ones away until Reopen().
  void InterruptAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    // The client alone, not TKesHttp::Cancel(): the status belongs to the forwarding thread.
    for (TKesHttp* http : running_) http->Http->Interrupt();
  }
  void Reopen() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = false;
  }

 private:
  std::mutex mutex_;
  std::set<TKesHttp*> running_;  // guarded
  bool stopping_ = false;        // guarded
};

std::string HostOfURL(const std::string& url) {
  std::string host = SplitUrl(url).host;
  return host.substr(0, host.find(':'));
}

UpstreamSettings UpstreamSettingsOf(const TProxySettings& settings) {
  UpstreamSettings upstream;
  upstream.mode = settings.Mode.load();
  upstream.url_test = settings.URLTest.get();
  upstream.url_production = settings.URLProduction.get();
  upstream.ip_test = settings.IPTest.get();
  upstream.ip_production = settings.IPProduction.get();
  return upstream;
}

bool ModeForwards(std::int32_t mode) {
  return mode == kModeHttp || mode == kModeHttpsTest || mode == kModeHttpsProduction;
}

std::optional<UpstreamTarget> UpstreamTargetOf(const UpstreamSettings& settings,
                                               const std::string& path) {
  const bool test = path == kPathTest;
  const bool production = path == kPathProduction;
  switch (settings.mode) {
    case kModeHttp:
      if (test) return UpstreamTarget{settings.url_test, "", false};
      if (production) return UpstreamTarget{settings.url_production, "", true};
      return std::nullopt;
    case kModeHttpsTest:
      if (!test) return std::nullopt;
      return UpstreamTarget{"https://" + settings.ip_test + kPathTest, HostOfURL(settings.url_test),
                            false};
    case kModeHttpsProduction:
      if (!production) return std::nullopt;
      return UpstreamTarget{"https://" + settings.ip_production + kPathProduction,
                            HostOfURL(settings.url_production), true};
    default:
      return std::nullopt;
  }
}

std::string AppFileFolder() {
  std::string appdata = platform::CommonAppDataFolder();
  if (platform::ProgramFolderHoldsItsFiles() || appdata.empty())
    return platform::ExtractFileDir(platform::ProgramFilePath());
  return platform::IncludeTrailingDelimiter(platform::IncludeTrailingDelimiter(appdata) +
                                            kSettingsFolderName);
}

std::string AppFilePath(const std::string& name) { return AppFileFolder() + name; }

TProxyServer::TProxyServer(std::uint16_t port, TInitialState initial)
    : forwards_(std::make_unique<Forwards>()),
      log_(std::make_unique<ForwardLog>(ForwardLog::DefaultFolder())),
      upstreams_(std::make_shared<UpstreamPool>()),
      listener_(std::make_unique<TIdHTTPServer>()),
      tls_handler_(std::make_unique<TIdServerIOHandlerSSLOpenSSL>()),
      settings_(std::make_unique<TProxySettings>()),
      dns_link_(std::make_shared<TDNSCallerLink>()) {
  listener_->DefaultPort = port;
  listener_->OnCommandGet = [this](TIdContext& context, TIdHTTPRequestInfo& request,
                                   TIdHTTPResponseInfo& response) {
    HandleRequest(context, request, response);
  };
  if (initial == TInitialState::kStopped) return;
  // A throw here frees what is already made, listener included, and hands the start error on.
  SetActive(settings_->Active);
}

TProxyServer::~TProxyServer() {
  dns_link_->Detach();
  // The listener goes first: its connection threads still read the settings.
  StopListener();
  listener_.reset();
  settings_.reset();
  tls_handler_.reset();
}

void TProxyServer::SetActive(bool value) {
  settings_->Active = value;
  ApplySettings();
}

bool TProxyServer::IsActive() const { return listener_->Active(); }

std::uint16_t TProxyServer::ListeningPortForTesting() const { return listener_->BoundPort(); }

void TProxyServer::StopListener() {
  forwards_->InterruptAll();
  listener_->SetActive(false);
  // Every forward has ended with the listener's threads, so none can put a connection back.
  upstreams_->Clear();
  forwards_->Reopen();
}

void TProxyServer::ApplySettings() {
  StopListener();
  if (!settings_->Active) return;
  switch (settings_->Mode.load()) {
    case kModeHttp:
      listener_->SetIOHandler(nullptr);
      break;
    case kModeHttpsTest:
      tls_handler_->SSLOptions.KeyFile = AppFilePath(kTestKeyFile);
      tls_handler_->SSLOptions.CertFile = AppFilePath(kTestCertFile);
      listener_->SetIOHandler(tls_handler_.get());
      break;
    case kModeHttpsProduction:
      tls_handler_->SSLOptions.KeyFile = AppFilePath(kProductionKeyFile);
      tls_handler_->SSLOptions.CertFile = AppFilePath(kProductionCertFile);
      listener_->SetIOHandler(tls_handler_.get());
      break;
    default:
      break;  // the transport of the previous apply stays
  }
  listener_->SetActive(true);
  if (settings_->CallDNS) StartDiscovery();
}

void TProxyServer::StartDiscovery() {
  TDNSThread::Start(
      settings_->URLTest.get(), settings_->URLProduction.get(), settings_->DNSServer.get(),
      [this](TDNSThread& sender) { DiscoveryDone(sender); }, dns_link_);
}

void TProxyServer::DiscoveryDone(TDNSThread& sender) {
  settings_->IPTest = sender.TestResult();
  settings_->IPProduction = sender.ProductionResult();
}

void TProxyServer::HandleRequest(TIdContext& context, TIdHTTPRequestInfo& request,
                                 TIdHTTPResponseInfo& response) {
  const std::string& path = request.Path;
  if (path == kPathRootCert) {
    ServeRootCertificate(context, response);
    return;
  }
  const UpstreamSettings upstream = UpstreamSettingsOf(*settings_);
  if (pooled_mode_.exchange(upstream.mode) != upstream.mode) upstreams_->Clear();
  if (!ModeForwards(upstream.mode)) return;  // no mode: an empty answer
  std::optional<UpstreamTarget> target = UpstreamTargetOf(upstream, path);
  if (!target) return RejectRequest(response);
  ForwardRequest(target->url, target->host_text, target->production, response, request);
}

ForwardRecord TProxyServer::NewRecord() const {
  ForwardRecord record;
  record.time = UnixTimeNow();
  record.mode = settings_->Mode.load();
  return record;
}

void TProxyServer::RejectRequest(TIdHTTPResponseInfo& response) {
  response.ResponseText = kMsgBadRequest;
  ForwardRecord record = NewRecord();
  record.outcome = ForwardOutcome::kWrongForMode;
  log_->Add(record);
}

void TProxyServer::ServeRootCertificate(TIdContext& context, TIdHTTPResponseInfo& response) {
  std::string path = AppFilePath(kRootCertFile);
  if (!platform::FileExists(path)) {
    response.ResponseText = kMsgFileNotAvailable + path;
    return;
  }
  response.ServeFile(context, path);
}

void TProxyServer::ForwardRequest(const std::string& url, const std::string& host_text,
                                  bool production, TIdHTTPResponseInfo& response,
                                  const TIdHTTPRequestInfo& request) {
  ForwardRecord record = NewRecord();
  record.production = production;
  UrlParts parts = SplitUrl(url);
  record.upstream = parts.port.empty() ? parts.host : parts.host + ":" + parts.port;
  if (!request.Body) {
    response.ResponseText = kMsgEmptyRequest;
    record.outcome = ForwardOutcome::kEmptyRequest;
    return log_->Add(record);
  }
  record.request_bytes = request.Body->size();
  auto started = std::chrono::steady_clock::now();
  try {
    TKesHttp http;
    http.Http->Timeouts = UpstreamTimeouts;
    http.Http->Pool = upstreams_;
    http.HostHeader = host_text;
    http.DisablePeerVerification();
    if (!forwards_->Enter(http)) {
      // Stopping: nobody will take the answer.
      record.outcome = ForwardOutcome::kStopped;
      return log_->Add(record);
    }
    struct Registration {
      Forwards& forwards;
      TKesHttp& http;
      ~Registration() { forwards.Leave(http); }
    } registration{*forwards_, http};
    // The whole body from its first byte; the answer's bytes go back exactly as they came.
    std::string answer;
    http.Post(url, *request.Body, answer);
    record.answer_bytes = answer.size();
    response.ResponseText = std::move(answer);
  } catch (const std::exception& error) {
    // Every forwarding failure is the empty answer; the point-of-sale program retries on its own.
    // Why it failed goes to the log.
    ClassifyFailure(error, record);
  }
  record.duration_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - started)
                           .count();
  log_->Add(record);
}

}  // namespace vp
