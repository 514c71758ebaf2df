// What the server of a TLS connection showed of itself: its certificate's names and end of
// validity, and whether it is valid for the host the client meant to reach.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tls/TlsIOHandler.h"

namespace vp {

struct PeerCertificate {
  std::string subject;         // "C=HR, O=..., CN=host", UTF-8
  std::string issuer;          // the same form
  std::int64_t not_after = 0;  // Unix seconds, UTC
  bool names_host = false;     // its names (or addresses) cover the host
};

// The certificate the peer of an established connection sent, judged against host (a name, or a
// numeric address); nullopt when it sent none. now: Unix seconds, which not_after counts from.
std::optional<PeerCertificate> DescribePeerCertificate(const TlsIOHandler& connection,
                                                       const std::string& host, std::int64_t now);

}  // namespace vp
