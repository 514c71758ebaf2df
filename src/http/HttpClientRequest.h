// The request the upstream client sends: its header record, which a preparation hook may still
// change, and its wire form.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "http/UrlSplit.h"

namespace vp {

inline constexpr const char* kClientAccept =
    "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
inline constexpr const char* kClientAcceptEncoding = "identity";
inline constexpr const char* kClientUserAgent = "Mozilla/3.0 (compatible; Indy Library)";

// One request as it goes out. The headers are sent in the order of the fields, each only when it
// has a value; no Content-Type is ever sent.
struct TIdHTTPRequest {
  std::string Method;  // "POST", or "GET" after a 303
  std::string Target;  // path and document, with "?" and the query when there is one
  std::string Connection;
  std::optional<std::uint64_t> ContentLength;
  std::string Host;
  std::string Accept = kClientAccept;
  std::string AcceptEncoding = kClientAcceptEncoding;
  std::string UserAgent = kClientUserAgent;
};

// The default port of "http" (80) and "https" (443); 0 for any other scheme.
std::uint16_t DefaultPortOf(const std::string& scheme);
// The host alone on the scheme's default port, else host ":" port; IPv6 literals in brackets.
std::string HostHeaderOf(const UrlParts& url, std::uint16_t port);
// The origin-form target: path, document and the query.
std::string RequestTargetOf(const UrlParts& url);

// Appends the request line, the header lines and the empty line, each ending in CR LF.
void AppendRequestHead(const TIdHTTPRequest& request, std::string& out);

}  // namespace vp
