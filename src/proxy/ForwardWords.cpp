// The outcome classes in words.
#include "proxy/ForwardWords.h"

#include <cstdio>
#include <ctime>

namespace vp {
namespace {

const char* OutcomeWords(ForwardOutcome outcome) {
  switch (outcome) {
    case ForwardOutcome::kSuccess:
      return "uspješno";
    case ForwardOutcome::kNameResolution:
      return "adresa poslužitelja porezne uprave nije pronađena (DNS)";
    case ForwardOutcome::kConnectRefused:
      return "poslužitelj porezne uprave odbija vezu";
    case ForwardOutcome::kConnectFailed:
      return "nema mrežne veze do poslužitelja porezne uprave";
    case ForwardOutcome::kConnectTimedOut:
      return "poslužitelj porezne uprave se ne javlja";
    case ForwardOutcome::kNoAnswerInTime:
      return "poslužitelj porezne uprave nije odgovorio na vrijeme";
    case ForwardOutcome::kConnectionReset:
      return "poslužitelj porezne uprave je prekinuo vezu";
    case ForwardOutcome::kTlsFailed:
      return "sigurna veza (TLS) s poslužiteljem porezne uprave nije uspostavljena";
    case ForwardOutcome::kUpstreamStatus:
      return "poslužitelj porezne uprave je vratio grešku";
    case ForwardOutcome::kAnswerTooLarge:
      return "odgovor poslužitelja porezne uprave je prevelik";
    case ForwardOutcome::kStopped:
      return "slanje je prekinuto zaustavljanjem proxyja";
    case ForwardOutcome::kWrongForMode:
      return "zahtjev ne odgovara izabranom načinu rada";
    case ForwardOutcome::kEmptyRequest:
      return "zahtjev je bio prazan";
    case ForwardOutcome::kOther:
      break;
  }
  return "neočekivana greška";
}

// Local calendar fields; the C library's own, since only the main thread asks.
std::tm LocalFields(std::int64_t unix_seconds) {
  std::time_t time = static_cast<std::time_t>(unix_seconds);
  const std::tm* fields = std::localtime(&time);
  return fields != nullptr ? *fields : std::tm{};
}

}  // namespace

std::string DescribeOutcome(const ForwardRecord& record) {
  std::string words = OutcomeWords(record.outcome);
  if (record.outcome == ForwardOutcome::kSuccess)
    return words + ", " + std::to_string(record.duration_ms) + " ms";
  if (record.outcome != ForwardOutcome::kUpstreamStatus) return words;
  words += " " + std::to_string(record.status);
  if (!record.fault_code.empty()) words += " (" + record.fault_code + ")";
  return words;
}

std::string LastForwardLine(const std::optional<ForwardRecord>& record, std::int64_t now) {
  if (!record) return {};
  std::tm when = LocalFields(record->time);
  std::tm today = LocalFields(now);
  char text[48];
  if (when.tm_year == today.tm_year && when.tm_yday == today.tm_yday)
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", when.tm_hour, when.tm_min, when.tm_sec);
  else
    std::snprintf(text, sizeof text, "%d.%d.%d. %02d:%02d:%02d", when.tm_mday, when.tm_mon + 1,
                  when.tm_year + 1900, when.tm_hour, when.tm_min, when.tm_sec);
  return std::string("Zadnje slanje (") + text + "): " + DescribeOutcome(*record);
}

std::string ForwardsFailingText(const ForwardRecord& latest) {
  return kMsgForwardsFailing + DescribeOutcome(latest) + ".";
}

}  // namespace vp
