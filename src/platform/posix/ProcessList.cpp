// The process list from /proc; the "executable file name" is the kernel's command name.
#include "platform/ProcessList.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/posix/Handles.h"

namespace vp::platform {
namespace {

constexpr std::size_t kMaxExeFileLength = 260;

bool IsNumber(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text)
    if (*text < '0' || *text > '9') return false;
  return true;
}

// /proc/<pid>/stat is "pid (comm) state ppid ..."; comm may itself hold spaces and parentheses,
// so it ends at the last ')'.
bool ReadEntry(const std::string& pid_text, ProcessEntry& entry) {
  std::ifstream stat("/proc/" + pid_text + "/stat");
  std::string line((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::size_t open = line.find('(');
  std::size_t close = line.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return false;
  std::size_t ppid_start = line.find(' ', close + 2);
  if (ppid_start == std::string::npos) return false;
  entry.id = static_cast<std::uint32_t>(std::strtoul(pid_text.c_str(), nullptr, 10));
  entry.parent_id =
      static_cast<std::uint32_t>(std::strtoul(line.c_str() + ppid_start + 1, nullptr, 10));
  entry.exe_file = line.substr(open + 1, std::min(close - open - 1, kMaxExeFileLength));
  return true;
}

}  // namespace

std::vector<ProcessEntry> ProcessSnapshot() {
  std::vector<ProcessEntry> list;
  UniqueDirectory dir(::opendir("/proc"));
  if (!dir) return list;
  while (dirent* item = ::readdir(dir.get())) {
    ProcessEntry entry;
    // A process may end between the listing and the read; it is then simply left out.
    if (IsNumber(item->d_name) && ReadEntry(item->d_name, entry)) list.push_back(entry);
  }
  return list;
}

std::uint32_t CurrentProcessId() { return static_cast<std::uint32_t>(::getpid()); }

ServiceManagerAncestry ServiceManagerAncestryRule() {
  ServiceManagerAncestry rule;
  const char* invocation = std::getenv("INVOCATION_ID");
  rule.possible = invocation != nullptr && *invocation != '\0';
  rule.parent = "systemd";
  return rule;
}

}  // namespace vp::platform
