// One request on one connection: read it, check it, hand it to the handler, write the answer.
#pragma once

#include <functional>

#include "http/HttpRecords.h"
#include "io/BufferedReader.h"
#include "io/IOHandler.h"

namespace vp {

inline constexpr const char* kMsgErrorParsingCommand = "Error in parsing command.";
inline constexpr const char* kMsgMaxHeaderLines = "Maximum number of line allowed exceeded";
inline constexpr const char* kMsgUnsupportedAuthorization = "Unsupported authorization scheme.";
// A request body larger than this ends the connection: fiscal documents are a few kilobytes.
inline constexpr std::uint64_t kMaxRequestBodyBytes = 64u << 20;

struct HttpConnectionOptions {
  int maximum_header_line_count = 1024;
  const TIdHTTPCommandEvent* on_command_get = nullptr;
  const TIdHTTPCommandEvent* on_command_other = nullptr;
  // The request has been read whole and the handler is about to run; the handler has returned
  // and the answer is about to be written. The listener bounds the client's time outside the
  // handler, never the handler's own.
  std::function<void()> on_request_read;
  std::function<void()> on_handler_done;
};

// Serves one request. Throws vp::Error where the connection fails without an answer; the caller
// then closes the connection.
void ServeOneRequest(IOHandler& io, const std::string& remote_ip,
                     const HttpConnectionOptions& options);

}  // namespace vp
