// Ctrl+C, Ctrl+Break and console close for a foreground process on Windows.
#include "platform/Termination.h"

#include <atomic>

#include "platform/win32/win32_api.h"

namespace vp::platform {
namespace {

std::atomic<bool> g_requested{false};

BOOL WINAPI OnConsoleEvent(DWORD) {
  g_requested.store(true);
  return TRUE;
}

}  // namespace

void InstallTerminationHandler() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

bool TerminationRequested() { return g_requested.load(); }

}  // namespace vp::platform
