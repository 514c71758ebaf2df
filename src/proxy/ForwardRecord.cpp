// Classifying a forward's failure from the error the client raised, and its log line.
#include "proxy/ForwardRecord.h"

#include "base/Error.h"
#include "http/HttpAnswerStream.h"
#include "http/HttpClient.h"
#include "http/HttpDate.h"
#include "platform/Socket.h"

namespace vp {
namespace {

// The reason on one line, so that one record stays one line of the log.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  return text;
}

ForwardOutcome SocketOutcome(const Error& error) {
  const std::string& detail = error.detail();
  bool connecting = detail.starts_with("connect") || detail.starts_with("getaddrinfo");
  if (std::string(error.what()).starts_with("Socket Error # 11001") ||
      detail.starts_with("getaddrinfo"))
    return ForwardOutcome::kNameResolution;
  if (platform::IsConnectionRefused(error.code())) return ForwardOutcome::kConnectRefused;
  return connecting ? ForwardOutcome::kConnectFailed : ForwardOutcome::kConnectionReset;
}

bool FaultCodeCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' ||
         c == '.' || c == '_' || c == '-';
}

// The text of the first element whose local name is name ("faultcode", "Value").
std::string ElementText(const std::string& body, const std::string& name, std::size_t from) {
  for (std::size_t at = body.find(name, from); at != std::string::npos;
       at = body.find(name, at + 1)) {
    bool opens = at > 0 && (body[at - 1] == '<' || body[at - 1] == ':');
    std::size_t end = at + name.size();
    if (!opens || end >= body.size() || body[end] != '>') continue;
    std::size_t close = body.find('<', end + 1);
    if (close == std::string::npos) return {};
    std::string text = body.substr(end + 1, close - end - 1);
    if (text.empty() || text.size() > 64) return {};
    for (char c : text)
      if (!FaultCodeCharacter(c)) return {};
    return text;
  }
  return {};
}

}  // namespace

std::string SoapFaultCode(const std::string& body) {
  std::size_t fault = body.find("Fault>");
  if (fault == std::string::npos) return {};
  std::string code = ElementText(body, "faultcode", fault);  // SOAP 1.1
  if (!code.empty()) return code;
  std::size_t code12 = body.find("Code>", fault);  // SOAP 1.2: Code/Value
  return code12 == std::string::npos ? std::string() : ElementText(body, "Value", code12);
}

void ClassifyFailure(const std::exception& error, ForwardRecord& record) {
  record.reason = OneLine(error.what());
  const auto* known = dynamic_cast<const Error*>(&error);
  if (known == nullptr) {
    record.outcome = ForwardOutcome::kOther;
    return;
  }
  const std::string& message = known->what();
  switch (known->kind()) {
    case ErrorKind::kSocket:
      record.outcome = SocketOutcome(*known);
      return;
    case ErrorKind::kSocketTimeout:
      record.outcome = message == kMsgReadTimedOut || !known->detail().starts_with("connect")
                           ? ForwardOutcome::kNoAnswerInTime
                           : ForwardOutcome::kConnectTimedOut;
      return;
    case ErrorKind::kConnectionClosed:
      record.outcome = ForwardOutcome::kConnectionReset;
      return;
    case ErrorKind::kSsl:
      record.outcome = ForwardOutcome::kTlsFailed;
      if (!known->detail().empty()) record.reason += " " + OneLine(known->detail());
      return;
    case ErrorKind::kHttpProtocol:
      if (known->code() >= 100) {
        record.outcome = ForwardOutcome::kUpstreamStatus;
        record.status = known->code();
        record.fault_code = SoapFaultCode(known->detail());
        return;
      }
      break;
    case ErrorKind::kLimit:
      if (message == kMsgAnswerTooLarge) {
        record.outcome = ForwardOutcome::kAnswerTooLarge;
        return;
      }
      break;
    case ErrorKind::kCancelled:
      record.outcome = ForwardOutcome::kStopped;
      return;
    default:
      break;
  }
  record.outcome = ForwardOutcome::kOther;
}

const char* OutcomeName(ForwardOutcome outcome) {
  switch (outcome) {
    case ForwardOutcome::kSuccess:
      return "ok";
    case ForwardOutcome::kNameResolution:
      return "name-resolution";
    case ForwardOutcome::kConnectRefused:
      return "connection-refused";
    case ForwardOutcome::kConnectFailed:
      return "connect-failed";
    case ForwardOutcome::kConnectTimedOut:
      return "connect-timed-out";
    case ForwardOutcome::kNoAnswerInTime:
      return "no-answer-in-time";
    case ForwardOutcome::kConnectionReset:
      return "connection-reset";
    case ForwardOutcome::kTlsFailed:
      return "tls-failed";
    case ForwardOutcome::kUpstreamStatus:
      return "upstream-status";
    case ForwardOutcome::kAnswerTooLarge:
      return "answer-too-large";
    case ForwardOutcome::kStopped:
      return "stopped";
    case ForwardOutcome::kWrongForMode:
      return "wrong-for-mode";
    case ForwardOutcome::kEmptyRequest:
      return "empty-request";
    case ForwardOutcome::kOther:
      return "other";
  }
  return "other";
}

std::string FormatForwardRecord(const ForwardRecord& record) {
  std::string line = FormatIsoUtc(record.time) + " mode=" + std::to_string(record.mode) +
                     " endpoint=" + (record.production ? "production" : "test");
  if (!record.upstream.empty()) line += " upstream=" + record.upstream;
  line += " request=" + std::to_string(record.request_bytes) +
          " answer=" + std::to_string(record.answer_bytes) +
          " ms=" + std::to_string(record.duration_ms) + " outcome=" + OutcomeName(record.outcome);
  if (record.status != 0) line += " status=" + std::to_string(record.status);
  if (!record.fault_code.empty()) line += " fault=" + record.fault_code;
  if (!record.reason.empty()) line += " reason=\"" + record.reason + "\"";
  return line;
}

namespace {

constexpr ForwardOutcome kLastOutcome = ForwardOutcome::kOther;

std::optional<ForwardOutcome> OutcomeNamed(const std::string& name) {
  for (int i = 0; i <= static_cast<int>(kLastOutcome); ++i) {
    auto outcome = static_cast<ForwardOutcome>(i);
    if (name == OutcomeName(outcome)) return outcome;
  }
  return std::nullopt;
}

bool ParseNumber(const std::string& text, std::int64_t& value) {
  if (text.empty() || text.size() > 18) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

// One "key=value" field into the record; false for a field no record has.
bool ParseField(const std::string& key, const std::string& value, ForwardRecord& record) {
  if (key == "endpoint") {
    record.production = value == "production";
    return record.production || value == "test";
  }
  if (key == "outcome") {
    std::optional<ForwardOutcome> outcome = OutcomeNamed(value);
    if (outcome) record.outcome = *outcome;
    return outcome.has_value();
  }
  if (key == "upstream" || key == "fault") {
    (key == "upstream" ? record.upstream : record.fault_code) = value;
    return true;
  }
  std::int64_t number = 0;
  if (!ParseNumber(value, number)) return false;
  if (key == "mode")
    record.mode = static_cast<int>(number);
  else if (key == "request")
    record.request_bytes = static_cast<std::uint64_t>(number);
  else if (key == "answer")
    record.answer_bytes = static_cast<std::uint64_t>(number);
  else if (key == "ms")
    record.duration_ms = number;
  else if (key == "status")
    record.status = static_cast<int>(number);
  else
    return false;
  return true;
}

}  // namespace

std::optional<ForwardRecord> ParseForwardRecord(const std::string& line) {
  ForwardRecord record;
  std::size_t at = line.find(' ');
  if (at == std::string::npos || !ParseIsoUtc(line.substr(0, at), record.time)) return std::nullopt;
  bool has_outcome = false;
  while (at < line.size()) {
    std::size_t start = at + 1;
    // The reason is the last field and the only one that may hold spaces.
    if (line.compare(start, 8, "reason=\"") == 0) {
      if (line.size() < start + 9 || line.back() != '"') return std::nullopt;
      record.reason = line.substr(start + 8, line.size() - start - 9);
      break;
    }
    at = line.find(' ', start);
    if (at == std::string::npos) at = line.size();
    std::string field = line.substr(start, at - start);
    std::size_t equals = field.find('=');
    if (equals == std::string::npos ||
        !ParseField(field.substr(0, equals), field.substr(equals + 1), record))
      return std::nullopt;
    has_outcome = has_outcome || field.starts_with("outcome=");
  }
  if (!has_outcome) return std::nullopt;
  return record;
}

}  // namespace vp
