// The log of forwards: one line per record in "forwards.log" in the folder "Log" beside the
// settings file. When a line would take the file past 1 MB the file becomes "forwards.1.log" (the
// one before it goes) and a new file starts, so the log never holds more than two files of 1 MB.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "proxy/ForwardRecord.h"

namespace vp {

inline constexpr const char* kForwardLogFileName = "forwards.log";
inline constexpr const char* kForwardLogOldFileName = "forwards.1.log";

class ForwardLog {
 public:
  static constexpr std::uint64_t kMaxFileBytes = 1024 * 1024;

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

 private:
  void Write(const std::string& line);

  const std::string folder_;
  mutable std::mutex mutex_;
  std::optional<ForwardRecord> last_;  // guarded
  int failures_in_a_row_ = 0;          // guarded
  std::optional<std::uint64_t> size_;  // guarded; read from the disk at the first write
};

// Whether the record is a failure to forward (a request wrong for the mode is not).
bool IsForwardFailure(const ForwardRecord& record);

}  // namespace vp
