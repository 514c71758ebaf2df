// The second copy of the program on a POSIX machine: started directly for "open", through pkexec
// (or sudo where pkexec is missing) for "run as", and waited for either way.
#include "platform/ProcessLauncher.h"

#include <cstdlib>
#include <vector>

#include "platform/posix/ChildProcess.h"

namespace vp::platform {
namespace {

// pkexec and sudo hand the copy a clean environment; these name the files both copies must agree
// on, so they are passed on explicitly.
constexpr const char* kKeptVariables[] = {"VORMETRA_COMMON_APPDATA", "VORMETRA_HOSTS_FILE"};

std::vector<std::string> KeptEnvironment() {
  std::vector<std::string> kept;
  for (const char* name : kKeptVariables) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') kept.push_back(std::string(name) + "=" + value);
  }
  return kept;
}

class ChildLauncher : public ProcessLauncher {
 public:
  bool RunAndWait(LaunchVerb verb, const std::string& program,
                  const std::vector<std::string>& arguments) override {
    std::vector<std::string> argv;
    if (verb == LaunchVerb::kRunAs && !AddElevator(argv)) return false;
    argv.push_back(program);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunChild(argv, false).started;
  }

 private:
  static bool AddElevator(std::vector<std::string>& argv) {
    std::string elevator = FindOnPath("pkexec");
    if (elevator.empty()) elevator = FindOnPath("sudo");
    if (elevator.empty()) return false;
    argv.push_back(elevator);
    std::vector<std::string> kept = KeptEnvironment();
    std::string env = FindOnPath("env");
    if (kept.empty() || env.empty()) return true;
    argv.push_back(env);
    argv.insert(argv.end(), kept.begin(), kept.end());
    return true;
  }
};

}  // namespace

ProcessLauncher& NativeProcessLauncher() {
  static ChildLauncher launcher;
  return launcher;
}

void BringApplicationToFront() {}

}  // namespace vp::platform
