// The log of forwards: one line per record in "forwards.log" in the folder "Log" beside the
// settings file. When a line would take the file past 1 MB the file becomes "forwards.1.log" (the
// one before it goes) and a new file starts, so the log never holds more than two files of 1 MB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "proxy/ForwardRecord.h"

namespace vp {

inline constexpr const char* kForwardLogFileName = "forwards.log";
inline constexpr const char* kForwardLogOldFileName = "forwards.1.log";

class ForwardLog {
 public:
  static constexpr std::uint64_t kMaxFileBytes = 1024 * 1024;
  // Told of every record as it is added, one at a time and in order, with the failures in a row
  // it makes; it runs on a connection thread, so it must be quick.
  using Listener = std::function<void(const ForwardRecord& record, int failures_in_a_row)>;

  // folder "" keeps the records in memory only.
  explicit ForwardLog(std::string folder);
  // "Log" in the settings folder under the machine-wide data folder; "" when that is unknown.
  static std::string DefaultFolder();

  // Safe from any number of connection threads. A record the disk does not take is dropped: the
  // log never fails a forward.
  void Add(const ForwardRecord& record);
  std::optional<ForwardRecord> Last() const;
  // How many records in a row, up to the latest, were failures to forward.
  int FailuresInARow() const;
  const std::string& folder() const { return folder_; }
  void SetListener(Listener listener);

 private:
  void Write(const std::string& line);

  const std::string folder_;
  mutable std::mutex mutex_;
  std::optional<ForwardRecord> last_;  // guarded
  int failures_in_a_row_ = 0;          // guarded
  std::optional<std::uint64_t> size_;  // guarded; read from the disk at the first write
  Listener listener_;                  // guarded
};

// The last count lines of the log in folder: the older file's, then the current one's.
std::vector<std::string> LastForwardLines(const std::string& folder, std::size_t count);

// What the log in folder says of the latest forwards, for a process that does not own the proxy.
struct ForwardLogTail {
  std::optional<ForwardRecord> last;
  int failures_in_a_row = 0;  // counted over the last lines only: enough for any alarm
};
ForwardLogTail ReadForwardLogTail(const std::string& folder);

// Reads the tail again only when the current file has changed size: a window asks every second.
class ForwardLogReader {
 public:
  explicit ForwardLogReader(std::string folder) : folder_(std::move(folder)) {}
  const ForwardLogTail& Read();

 private:
  const std::string folder_;
  std::optional<std::int64_t> size_;  // of the current file at the last read
  ForwardLogTail tail_;
};

// Whether the record is a failure to forward (a request wrong for the mode is not).
bool IsForwardFailure(const ForwardRecord& record);

}  // namespace vp
