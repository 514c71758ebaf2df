// Appending records, with the rotation that bounds the log.
#include "proxy/ForwardLog.h"

#include <utility>

#include "base/Error.h"
#include "platform/FileSystem.h"
#include "proxy/ProxySettings.h"

namespace vp {

ForwardLog::ForwardLog(std::string folder) : folder_(std::move(folder)) {}

std::string ForwardLog::DefaultFolder() {
  std::string appdata = platform::CommonAppDataFolder();
  if (appdata.empty()) return {};
  char delimiter = platform::PathDelimiter();
  return platform::IncludeTrailingDelimiter(appdata) + kSettingsFolderName + delimiter + "Log";
}

namespace {

// A request that the mode does not forward neither breaks nor continues a streak of failures.
bool WasForwarded(const ForwardRecord& record) {
  return record.outcome != ForwardOutcome::kWrongForMode &&
         record.outcome != ForwardOutcome::kEmptyRequest;
}

}  // namespace

bool IsForwardFailure(const ForwardRecord& record) {
  return WasForwarded(record) && record.outcome != ForwardOutcome::kSuccess;
}

void ForwardLog::Add(const ForwardRecord& record) {
  // Formatted before the lock, so that connection threads wait only for the write.
  std::string line = folder_.empty() ? std::string() : FormatForwardRecord(record) + "\r\n";
  std::lock_guard<std::mutex> lock(mutex_);
  last_ = record;
  if (WasForwarded(record))
    failures_in_a_row_ = IsForwardFailure(record) ? failures_in_a_row_ + 1 : 0;
  if (!folder_.empty()) Write(line);
}

// Called with mutex_ held.
void ForwardLog::Write(const std::string& line) {
  std::string prefix = platform::IncludeTrailingDelimiter(folder_);
  std::string path = prefix + kForwardLogFileName;
  try {
    if (!size_) {
      platform::ForceDirectories(folder_);
      size_ = platform::FileExists(path) ? static_cast<std::uint64_t>(platform::FileSize(path)) : 0;
    }
    if (*size_ > 0 && *size_ + line.size() > kMaxFileBytes) {
      platform::MoveFileReplacing(path, prefix + kForwardLogOldFileName);
      size_ = 0;
    }
    platform::AppendFileBytes(path, line);
    *size_ += line.size();
  } catch (const Error&) {
    size_.reset();  // read the size again next time
  }
}

std::optional<ForwardRecord> ForwardLog::Last() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_;
}

int ForwardLog::FailuresInARow() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failures_in_a_row_;
}

}  // namespace vp
