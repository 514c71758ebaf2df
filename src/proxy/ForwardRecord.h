// What the proxy keeps of one forward, for whoever must find out why a receipt failed: when, where
// to, how much, how long and how it ended. Never a byte of the receipt itself: of a body only the
// fault code of a SOAP fault is kept.
#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

namespace vp {

enum class ForwardOutcome {
  kSuccess,
  kNameResolution,   // the upstream's name did not resolve
  kConnectRefused,   // nothing listens there
  kConnectFailed,    // no route, network down, and the like
  kConnectTimedOut,  // no answer to the connect in time
  kNoAnswerInTime,   // connected, but the answer did not come in time
  kConnectionReset,  // the upstream dropped the connection
  kTlsFailed,        // the TLS handshake or a record failed
  kUpstreamStatus,   // the upstream answered, with a status outside 2xx
  kAnswerTooLarge,   // more than the proxy takes
  kStopped,          // the proxy was stopped or reloaded meanwhile
  kWrongForMode,     // a request this mode does not forward
  kEmptyRequest,     // a request without a body
  kOther,            // anything else
};

struct ForwardRecord {
  std::int64_t time = 0;  // Unix seconds, UTC
  int mode = 0;
  bool production = false;
  std::string upstream;  // host[:port] the post went to
  std::uint64_t request_bytes = 0;
  std::uint64_t answer_bytes = 0;
  std::int64_t duration_ms = 0;
  ForwardOutcome outcome = ForwardOutcome::kSuccess;
  int status = 0;          // kUpstreamStatus: the HTTP status
  std::string reason;      // the failure's own text (the library's, for TLS); one line
  std::string fault_code;  // kUpstreamStatus: the SOAP fault code, when the body had one
};

// Sets the outcome and its details from a forward's error.
void ClassifyFailure(const std::exception& error, ForwardRecord& record);
// The fault code of a SOAP 1.1 or 1.2 fault in body ("soap:Server", "s:Receiver"), or empty.
// Letters, digits and ":._-" only, at most 64 of them: nothing else of the body ever leaves here.
std::string SoapFaultCode(const std::string& body);
// One line, no line end: "2026-12-09T12:00:00Z mode=2 endpoint=test upstream=... request=10
// answer=20 ms=15 outcome=ok", with status, fault and reason where there are.
std::string FormatForwardRecord(const ForwardRecord& record);
// Reads back a line FormatForwardRecord wrote; nothing for a line that is not one.
std::optional<ForwardRecord> ParseForwardRecord(const std::string& line);
// The outcome's name in the log ("ok", "tls-failed", ...).
const char* OutcomeName(ForwardOutcome outcome);

}  // namespace vp
