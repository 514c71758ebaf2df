// The system's process list, and how the service manager shows in a process's ancestry: what the
// program entry needs to tell a start by the service manager from any other start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vp::platform {

struct ProcessEntry {
  std::uint32_t id = 0;
  std::uint32_t parent_id = 0;
  std::string exe_file;  // the executable's file name alone, at most 260 characters
};

// A copy of the system's process list in the order the system gives it; empty when it cannot be
// read.
std::vector<ProcessEntry> ProcessSnapshot();
std::uint32_t CurrentProcessId();

// What the parent and grandparent of a process that the service manager started are called.
struct ServiceManagerAncestry {
  // False when this process cannot have been started by the service manager at all (on Linux,
  // systemd gives every service it starts an INVOCATION_ID).
  bool possible = true;
  std::string parent;                     // compared without regard to case
  std::vector<std::string> grandparents;  // any of them; empty: the grandparent is not looked at
};

// Windows: "services.exe" under "winlogon.exe" or "wininit.exe". A Windows build running under
// Wine: "services.exe" alone, as Wine's service manager has no parent left by then. Linux:
// "systemd", for a process that carries INVOCATION_ID.
ServiceManagerAncestry ServiceManagerAncestryRule();

}  // namespace vp::platform
