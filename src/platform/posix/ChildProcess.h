// Starting other programs and waiting for them, for the POSIX halves of the launcher and the
// service manager.
#pragma once

#include <string>
#include <vector>

namespace vp::platform {

struct ChildResult {
  bool started = false;  // false: the program could not be started at all (errno in exit_status)
  int exit_status = 0;   // the exit code, or 128 + the signal that ended the child
  std::string output;    // standard output and error together, when captured
};

// Runs argv[0] (looked up on PATH unless it holds a '/') with the rest as its arguments and waits
// for it. With capture_output the child's standard output and error are collected and its input
// is /dev/null; otherwise it shares this program's terminal.
ChildResult RunChild(const std::vector<std::string>& argv, bool capture_output);

// The full path of an executable file of that name on PATH, or empty.
std::string FindOnPath(const std::string& name);

}  // namespace vp::platform
