// The transport of a listener's accepted connections: plain TCP when none is attached, TLS in
// modes 2 and 3.
#pragma once

#include <memory>

#include "io/IOHandler.h"
#include "platform/Socket.h"

namespace vp {

class TIdServerIOHandler {
 public:
  virtual ~TIdServerIOHandler() = default;
  // At start, before any port is bound (TLS: loads the library, the certificate and the key).
  virtual void Init() = 0;
  // On the connection's thread, before any HTTP is read (TLS: the handshake). Throws to drop the
  // connection without an answer.
  virtual std::unique_ptr<IOHandler> Accept(platform::Socket& socket) = 0;
  // At stop, after every connection has ended, and after a failed start.
  virtual void Shutdown() = 0;
};

}  // namespace vp
