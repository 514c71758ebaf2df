// A window program starts without a console and without console streams unless its starter
// redirected them; it attaches to its parent's console, or opens one, and points the streams that
// have none at that console's output.
#include "platform/Console.h"

#include <cstdio>

#include "platform/win32/win32_api.h"

namespace vp::platform {
namespace {

bool LeadsSomewhere(DWORD which) {
  HANDLE handle = GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

}  // namespace

void UseParentConsole() {
  bool output = LeadsSomewhere(STD_OUTPUT_HANDLE);
  bool error = LeadsSomewhere(STD_ERROR_HANDLE);
  // Ctrl+C reaches only a process with a console, also when its streams go to a file: the
  // starter's console, else one of its own (started from the desktop, it shows the output there).
  if (!AttachConsole(ATTACH_PARENT_PROCESS) && !AllocConsole()) return;
  // The C runtime set its streams up at start, when there was no console yet.
  if (!output) std::freopen("CONOUT$", "w", stdout);
  if (!error) std::freopen("CONOUT$", "w", stderr);
}

}  // namespace vp::platform
