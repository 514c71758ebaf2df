// A double of the process launcher: records what would be started and runs, in place of the
// second copy, whatever the test wants that copy to do. Nothing is ever really started.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ProcessLauncher.h"

namespace vp::test {

struct Launch {
  platform::LaunchVerb verb;
  std::string program;
  std::string parameters;  // the arguments joined by blanks
  std::vector<std::string> arguments;
};

class RecordingLauncher : public platform::ProcessLauncher {
 public:
  // Puts itself in place of the system's launcher until destroyed.
  RecordingLauncher();
  ~RecordingLauncher() override;
  RecordingLauncher(const RecordingLauncher&) = delete;
  RecordingLauncher& operator=(const RecordingLauncher&) = delete;

  // What the started copy does, run before RunAndWait returns.
  void OnLaunch(std::function<void(const Launch&)> copy);
  // Whether launches count as started (false: the user refused the elevation).
  void SetStarts(bool starts);
  std::vector<Launch> launches() const;

  bool RunAndWait(platform::LaunchVerb verb, const std::string& program,
                  const std::vector<std::string>& arguments) override;

 private:
  mutable std::mutex mutex_;
  std::vector<Launch> launches_;
  std::function<void(const Launch&)> copy_;
  bool starts_ = true;
};

}  // namespace vp::test
