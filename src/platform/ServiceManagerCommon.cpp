// The service manager in force, shared by both platforms.
#include <atomic>

#include "platform/ServiceManager.h"
#include "platform/ServiceManagerNative.h"

namespace vp::platform {
namespace {

std::atomic<ServiceManager*> g_override{nullptr};

}  // namespace

ServiceManager& CurrentServiceManager() {
  ServiceManager* manager = g_override.load();
  return manager != nullptr ? *manager : NativeServiceManager();
}

void SetServiceManagerForTesting(ServiceManager* manager) { g_override.store(manager); }

}  // namespace vp::platform
