// A forward's outcome in the words a shop owner reads in the window, the tray's balloon and the
// service's event log: Croatian, UTF-8, without the technical detail the log line carries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "proxy/ForwardRecord.h"

namespace vp {

inline constexpr const char* kMsgForwardsFailing = "Slanje računa ne uspijeva: ";
inline constexpr const char* kMsgForwardsWorkAgain = "Slanje računa ponovno radi.";

// "uspješno, 85 ms", "poslužitelj porezne uprave nije odgovorio na vrijeme", ...
std::string DescribeOutcome(const ForwardRecord& record);
// The window's line under the status: "Zadnje slanje (14:32:05): uspješno, 85 ms", the date
// before the time when the record is not from today (local time); "" without a record.
std::string LastForwardLine(const std::optional<ForwardRecord>& record, std::int64_t now);
// What the balloon and the event log say when a streak of failures starts: kMsgForwardsFailing
// and the latest failure's words.
std::string ForwardsFailingText(const ForwardRecord& latest);

}  // namespace vp
