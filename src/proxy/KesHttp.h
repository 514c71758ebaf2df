// The upstream forwarder: an HTTP client with a TLS handler that replaces the Host header, sets
// the TLS server name and reports progress.
#pragma once

#include <string>

namespace vp {

class TKesHttp {
 public:
  TKesHttp();
  ~TKesHttp();
  TKesHttp(const TKesHttp&) = delete;
  TKesHttp& operator=(const TKesHttp&) = delete;

  // Replaces the Host header of every request when not empty.
  std::string HostHeader;

  // Switches peer certificate checks off. Throws when the client has no TLS handler.
  void DisablePeerVerification();
  // One POST of the whole body; the answer body is appended to answer. Throws on any failure.
  void Post(const std::string& url, const std::string& body, std::string& answer);
};

}  // namespace vp
