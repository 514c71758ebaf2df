// The status switch: whether a proxy serves on this machine, how it is set up, and what the last
// forwards did; for a shop owner on the telephone with whoever supports them, and for scripts.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vp {

inline constexpr const char* kSwitchStatus = "status";

struct ProxyStatus {
  bool listening = false;        // something accepts connections on the proxy's port
  bool service_running = false;  // the proxy's service runs
  int mode = 0;
  std::string url_test, url_production, ip_test, ip_production;
  std::vector<std::string> records;  // log lines, oldest first
};

// The report, one line each, in Croatian; the records as the log has them.
std::string FormatStatus(const ProxyStatus& status, unsigned port);
// The task: prints the report to the console it was started from. 0 when a proxy listens on the
// port (the proxy's), 1 otherwise.
int RunStatus(unsigned port);

}  // namespace vp
