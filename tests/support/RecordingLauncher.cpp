#include "support/RecordingLauncher.h"

namespace vp::test {

RecordingLauncher::RecordingLauncher() { platform::SetProcessLauncherForTesting(this); }

RecordingLauncher::~RecordingLauncher() { platform::SetProcessLauncherForTesting(nullptr); }

void RecordingLauncher::OnLaunch(std::function<void(const Launch&)> copy) {
  std::lock_guard<std::mutex> lock(mutex_);
  copy_ = std::move(copy);
}

void RecordingLauncher::SetStarts(bool starts) {
  std::lock_guard<std::mutex> lock(mutex_);
  starts_ = starts;
}

std::vector<Launch> RecordingLauncher::launches() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return launches_;
}

bool RecordingLauncher::RunAndWait(platform::LaunchVerb verb, const std::string& program,
                                   const std::vector<std::string>& arguments) {
  std::string parameters;
  for (const std::string& argument : arguments)
    parameters += (parameters.empty() ? "" : " ") + argument;
  Launch launch{verb, program, parameters, arguments};
  std::function<void(const Launch&)> copy;
  bool starts = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    launches_.push_back(launch);
    copy = copy_;
    starts = starts_;
  }
  if (starts && copy) copy(launch);
  return starts;
}

}  // namespace vp::test
