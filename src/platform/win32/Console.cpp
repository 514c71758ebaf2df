// A window program starts without console streams unless its starter redirected them; it can
// attach to its parent's console and open that console's output for the streams that have none.
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
  if (output && error) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  // The C runtime set its streams up at start, when there was no console yet.
  if (!output) std::freopen("CONOUT$", "w", stdout);
  if (!error) std::freopen("CONOUT$", "w", stderr);
}

}  // namespace vp::platform
