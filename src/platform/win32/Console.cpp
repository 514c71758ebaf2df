// A window program starts without a console and without console streams unless its starter
// redirected them; it attaches to its parent's console, or opens one, and points the streams that
// have none at that console's output.
#include "platform/Console.h"

#include <io.h>

#include <cstdio>

#include "platform/win32/WideText.h"
#include "platform/win32/win32_api.h"

namespace vp::platform {
namespace {

bool LeadsSomewhere(DWORD which) {
  HANDLE handle = GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// Through the stream's own handle: a console made by AllocConsole becomes the process's standard
// handles, while the C runtime's stream may still lead to the pipe or file the starter handed over.
void Write(std::FILE* stream, const std::string& text) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
    // A console shows UTF-16 whatever its code page is.
    std::wstring wide = WideFromUtf8(text);
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
}

}  // namespace

void ReportToStarter(const std::string& line) {
  if (!LeadsSomewhere(STD_ERROR_HANDLE)) {
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    std::freopen("CONOUT$", "w", stderr);
  }
  Write(stderr, line + "\r\n");
}

void PrintOutput(const std::string& text) {
  std::string lines;
  // Consoles and Windows editors alike want CR LF.
  for (char c : text) {
    if (c == '\n') lines += '\r';
    lines += c;
  }
  Write(stdout, lines);
}

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
