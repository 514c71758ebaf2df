// Feeds arbitrary bytes to the listener's request reader as if a client had sent them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "MemoryIOHandler.h"
#include "base/Error.h"
#include "http/HttpConnection.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vp::fuzz::MemoryIOHandler io(std::string(reinterpret_cast<const char*>(data), size));
  vp::TIdHTTPCommandEvent handler = [](vp::TIdContext&, vp::TIdHTTPRequestInfo& request,
                                       vp::TIdHTTPResponseInfo& response) {
    response.ResponseText = request.Path;
  };
  vp::HttpConnectionOptions options;
  options.on_command_get = &handler;
  try {
    vp::ServeOneRequest(io, "127.0.0.1", options);
  } catch (const vp::Error&) {
    // a connection that fails ends without an answer
  }
  return 0;
}
