// Placeholder until the upstream client is built: every post fails, which the proxy answers with
// an empty response.
#include "proxy/KesHttp.h"

#include "platform/Error.h"

namespace vp {

TKesHttp::TKesHttp() = default;
TKesHttp::~TKesHttp() = default;

void TKesHttp::DisablePeerVerification() {
  throw Error(ErrorKind::kSslLibrary, "IOHandler value is not valid");
}

void TKesHttp::Post(const std::string&, const std::string&, std::string&) {
  throw Error(ErrorKind::kSslLibrary, "IOHandler value is not valid");
}

}  // namespace vp
