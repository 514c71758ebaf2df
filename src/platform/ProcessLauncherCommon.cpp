// The launcher in force, shared by both platforms.
#include <atomic>

#include "platform/ProcessLauncher.h"

namespace vp::platform {
namespace {

std::atomic<ProcessLauncher*> g_override{nullptr};

}  // namespace

ProcessLauncher& CurrentProcessLauncher() {
  ProcessLauncher* launcher = g_override.load();
  return launcher != nullptr ? *launcher : NativeProcessLauncher();
}

void SetProcessLauncherForTesting(ProcessLauncher* launcher) { g_override.store(launcher); }

}  // namespace vp::platform
