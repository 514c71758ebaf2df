// The one error type of the program: an exception whose what() is the exact text a user or caller
// sees, with the technical detail (failed call, OS or TLS library text) kept apart.
#pragma once

#include <stdexcept>
#include <string>

namespace vp {

// Every kind of failure the program raises. Callers branch on the kind, never on the text.
enum class ErrorKind {
  kGeneric,           // anything without a kind of its own
  kSocket,            // a socket call failed (connect refused, reset, resolve failure, ...)
  kSocketTimeout,     // a socket send or receive ran past its timeout
  kConnectionClosed,  // the peer closed the connection before the expected bytes arrived
  kBind,              // a listening socket could not be bound
  kFileOpen,          // a file could not be opened for reading
  kFileCreate,        // a file could not be created or replaced
  kConvert,           // a text could not be converted to a number
  kSslLibrary,        // the TLS library could not be loaded or lacks a function
  kSsl,               // a TLS context, handshake or record failed
  kHttpProtocol,      // malformed HTTP, or an upstream status outside 2xx
  kDns,               // a DNS query failed or its reply was malformed
  kCancelled,         // the user cancelled a transfer
  kLimit,             // a safety bound was reached (line length, header count, retries)
  kSystem,            // the service manager or another OS service refused; what() is its text
  kSettings,          // the settings hold a value that an operation cannot use safely
};

class Error : public std::runtime_error {
 public:
  Error(ErrorKind kind, const std::string& message, std::string detail = {}, int code = 0)
      : std::runtime_error(message), kind_(kind), detail_(std::move(detail)), code_(code) {}

  ErrorKind kind() const { return kind_; }
  // The failed call and the OS or library text, for diagnostics; never shown in place of what().
  const std::string& detail() const { return detail_; }
  // A numeric code where the kind has one: OS error number, HTTP status, DNS RCODE.
  int code() const { return code_; }

 private:
  ErrorKind kind_;
  std::string detail_;
  int code_;
};

}  // namespace vp
