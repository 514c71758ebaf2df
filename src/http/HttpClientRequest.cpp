// Building the upstream client's request head.
#include "http/HttpClientRequest.h"

#include "base/AsciiText.h"

namespace vp {

std::uint16_t DefaultPortOf(const std::string& scheme) {
  if (scheme == "http") return 80;
  if (scheme == "https") return 443;
  return 0;
}

std::string HostHeaderOf(const UrlParts& url, std::uint16_t port) {
  std::string host = url.host.find(':') == std::string::npos ? url.host : "[" + url.host + "]";
  if (port == DefaultPortOf(url.scheme)) return host;
  return host + ":" + std::to_string(port);
}

std::string RequestTargetOf(const UrlParts& url) {
  std::string target = url.path.empty() ? std::string("/") : url.path;
  target += url.document;
  if (!url.query.empty()) {
    target += '?';
    target += url.query;
  }
  return target;
}

void AppendRequestHead(const TIdHTTPRequest& request, std::string& out) {
  out += request.Method;
  out += ' ';
  out += request.Target;
  out += " HTTP/1.0\r\n";
  AppendHeaderLine(out, "Connection", request.Connection);
  if (request.ContentLength)
    AppendHeaderLine(out, "Content-Length", std::to_string(*request.ContentLength));
  AppendHeaderLine(out, "Host", request.Host);
  AppendHeaderLine(out, "Accept", request.Accept);
  AppendHeaderLine(out, "Accept-Encoding", request.AcceptEncoding);
  AppendHeaderLine(out, "User-Agent", request.UserAgent);
  out += "\r\n";
}

}  // namespace vp
