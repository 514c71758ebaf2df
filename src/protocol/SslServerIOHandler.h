// The listener's TLS transport for modes 2 and 3.
#pragma once

#include <memory>
#include <string>

#include "protocol/HttpServer.h"

namespace vp {

inline constexpr const char* kMsgCouldNotLoadSslLibrary = "Could not load SSL library.";

class TIdServerIOHandlerSSLOpenSSL final : public TIdServerIOHandler {
 public:
  TIdServerIOHandlerSSLOpenSSL();
  ~TIdServerIOHandlerSSLOpenSSL() override;

  // The certificate and key the next Init() loads (PEM files).
  std::string CertFile;
  std::string KeyFile;

  void Init() override;
  std::unique_ptr<IOHandler> Accept(platform::Socket& socket) override;
  void Shutdown() override;
};

}  // namespace vp
