// Splitting a URL or an HTTP request target into its parts. The listener, the HTTP client, address
// discovery and the hosts-file editor all split with this one routine, so they agree on the host.
#pragma once

#include <string>
#include <string_view>

namespace vp {

struct UrlParts {
  std::string scheme;    // "https"; empty without "://"
  std::string user;      // up to the authority's last '@'
  std::string host;      // without brackets and port
  std::string port;      // the port text as written; empty when none
  std::string path;      // up to and including the last '/'
  std::string document;  // after the last '/'
  std::string query;     // after the first '?', without the fragment
  std::string fragment;  // after the '#'
};

UrlParts SplitUrl(std::string_view url);

// Resolves %XX and %uXXXX escapes; the %u form is written as UTF-8. A '%' that starts no valid
// escape stays as it is.
std::string PercentDecode(std::string_view text);

}  // namespace vp
