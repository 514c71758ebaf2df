// The trust store files in force, shared by both platforms.
#include <mutex>

#include "platform/CertStore.h"
#include "platform/CertStoreNative.h"

namespace vp::platform {
namespace {

std::mutex g_mutex;
TrustStoreFiles g_override;  // guarded by g_mutex; an empty folder means none

}  // namespace

TrustStoreFiles CurrentTrustStoreFiles() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_override.folder.empty()) return g_override;
  }
  return NativeTrustStoreFiles();
}

void SetTrustStoreFilesForTesting(const TrustStoreFiles& files) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_override = files;
}

}  // namespace vp::platform
