// Starting a second copy of a program with one parameter, with or without elevation, and waiting
// until it has ended: how an unprivileged process gets privileged work done.
#pragma once

#include <string>
#include <vector>

namespace vp::platform {

enum class LaunchVerb {
  kOpen,   // as the current user, with the current rights
  kRunAs,  // elevated: Windows asks for consent; elsewhere pkexec where present, else sudo
};

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  // Starts program with the arguments, each reaching it whole (blanks and quotes included), and
  // blocks the calling thread until that process has ended. Returns whether a process was
  // started; false when the user refused the elevation or the start failed, with nothing to wait
  // for.
  virtual bool RunAndWait(LaunchVerb verb, const std::string& program,
                          const std::vector<std::string>& arguments) = 0;
};

// The launcher in force: the system's own unless a test has put a double in its place.
ProcessLauncher& CurrentProcessLauncher();
// Tests put a recording double in place of the system's launcher; nullptr restores it.
void SetProcessLauncherForTesting(ProcessLauncher* launcher);
// The system's own launcher, whatever a test has put in its place.
ProcessLauncher& NativeProcessLauncher();

// Brings this program's windows in front of others after a relaunch; nothing where the program
// has no window.
void BringApplicationToFront();

}  // namespace vp::platform
