// Appending records, with the rotation that bounds the log.
#include "proxy/ForwardLog.h"

#include <utility>

#include "base/AsciiText.h"
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

// The lines a tail reader looks at: a streak longer than this shows as this long.
constexpr std::size_t kTailLines = 20;

void AppendLines(const std::string& path, std::vector<std::string>& lines) {
  if (!platform::FileExists(path)) return;
  std::string text;
  try {
    text = platform::ReadFileBytes(path);
  } catch (const Error&) {
    return;  // the proxy is writing it right now; the reader goes on without it
  }
  for (std::string& line : SplitLines(text))
    if (!line.empty()) lines.push_back(std::move(line));
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
  if (listener_) listener_(record, failures_in_a_row_);
}

void ForwardLog::SetListener(Listener listener) {
  std::lock_guard<std::mutex> lock(mutex_);
  listener_ = std::move(listener);
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

std::vector<std::string> LastForwardLines(const std::string& folder, std::size_t count) {
  std::vector<std::string> lines;
  if (folder.empty()) return lines;
  std::string prefix = platform::IncludeTrailingDelimiter(folder);
  AppendLines(prefix + kForwardLogOldFileName, lines);
  AppendLines(prefix + kForwardLogFileName, lines);
  if (lines.size() > count) lines.erase(lines.begin(), lines.end() - static_cast<long>(count));
  return lines;
}

ForwardLogTail ReadForwardLogTail(const std::string& folder) {
  ForwardLogTail tail;
  bool streak_open = true;
  std::vector<std::string> lines = LastForwardLines(folder, kTailLines);
  for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
    std::optional<ForwardRecord> record = ParseForwardRecord(*line);
    if (!record) continue;
    if (!tail.last) tail.last = record;
    if (!WasForwarded(*record)) continue;
    streak_open = streak_open && IsForwardFailure(*record);
    if (streak_open) ++tail.failures_in_a_row;
  }
  return tail;
}

const ForwardLogTail& ForwardLogReader::Read() {
  std::string path = platform::IncludeTrailingDelimiter(folder_) + kForwardLogFileName;
  std::optional<std::int64_t> size;
  try {
    if (!folder_.empty() && platform::FileExists(path)) size = platform::FileSize(path);
  } catch (const Error&) {
  }
  if (size != size_ || !size) tail_ = ReadForwardLogTail(folder_);
  size_ = size;
  return tail_;
}

}  // namespace vp
