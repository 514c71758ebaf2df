// Resolving redirect targets.
#include "http/HttpRedirect.h"

#include <cctype>

namespace vp {
namespace {

// A scheme is letters, digits, '+', '-' or '.', starting with a letter, right before "://".
bool HasScheme(const std::string& location) {
  std::size_t separator = location.find("://");
  if (separator == std::string::npos || separator == 0) return false;
  if (!std::isalpha(static_cast<unsigned char>(location[0]))) return false;
  for (std::size_t i = 0; i < separator; ++i) {
    unsigned char c = static_cast<unsigned char>(location[i]);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

std::string OriginOf(const UrlParts& url) {
  std::string origin = url.scheme + "://";
  origin += url.host.find(':') == std::string::npos ? url.host : "[" + url.host + "]";
  if (!url.port.empty()) origin += ":" + url.port;
  return origin;
}

}  // namespace

std::string ResolveRedirect(const std::string& location, const UrlParts& current) {
  if (HasScheme(location)) return location;
  if (location.rfind("//", 0) == 0) return current.scheme + ":" + location;
  std::string path = current.path.empty() ? std::string("/") : current.path;
  if (location.rfind('/', 0) == 0) return OriginOf(current) + location;
  if (location.rfind('?', 0) == 0) return OriginOf(current) + path + current.document + location;
  return OriginOf(current) + path + location;
}

bool IsFollowableRedirect(int code, const std::string& location) {
  return code >= 300 && code < 400 && code != 304 && !location.empty();
}

}  // namespace vp
