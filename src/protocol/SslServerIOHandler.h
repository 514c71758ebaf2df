// The listener's TLS transport for modes 2 and 3.
#pragma once

#include <memory>
#include <string>

#include "protocol/HttpServer.h"
#include "protocol/SslOptions.h"

namespace vp {

inline constexpr const char* kMsgCouldNotLoadSslLibrary = "Could not load SSL library.";

class TIdServerIOHandlerSSLOpenSSL final : public TIdServerIOHandler {
 public:
  TIdServerIOHandlerSSLOpenSSL();
  ~TIdServerIOHandlerSSLOpenSSL() override;

  // Method TLS 1.0 only; CertFile and KeyFile are what the next Init() loads.
  TIdSSLOptions SSLOptions;

  void Init() override;
  std::unique_ptr<IOHandler> Accept(platform::Socket& socket) override;
  void Shutdown() override;
};

}  // namespace vp
