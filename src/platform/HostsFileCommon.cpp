// The hosts file's path with its overrides, shared by both platforms.
#include <cstdlib>
#include <mutex>

#include "platform/FileSystemNative.h"
#include "platform/HostsFile.h"

namespace vp::platform {
namespace {

std::mutex g_mutex;
std::string g_override;

}  // namespace

std::string HostsFilePath() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_override.empty()) return g_override;
  }
  const char* named = std::getenv("VORMETRA_HOSTS_FILE");
  if (named != nullptr && *named != '\0') return named;
  return NativeHostsFilePath();
}

void SetHostsFilePathForTesting(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_override = path;
}

}  // namespace vp::platform
