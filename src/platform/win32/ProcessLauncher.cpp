// The second copy of the program on Windows: the shell's extended execute with "open" or
// "runas" (which asks for elevation), waited for by checking every 10 ms.
#include "platform/ProcessLauncher.h"

#include "platform/win32/Handles.h"
#include "platform/win32/WideText.h"
#include "platform/win32/win32_api.h"

namespace vp::platform {
namespace {

constexpr DWORD kWaitStepMs = 10;

// One argument as the C runtime's parser (CommandLineToArgvW) splits it back out: quoted when it
// holds a blank or a quote, each quote escaped, and the backslashes before a quote or before the
// closing quote doubled.
std::string QuotedArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

std::string CommandLineOf(const std::vector<std::string>& arguments) {
  std::string line;
  for (const std::string& argument : arguments) {
    if (!line.empty()) line += ' ';
    line += QuotedArgument(argument);
  }
  return line;
}

class ShellLauncher : public ProcessLauncher {
 public:
  bool RunAndWait(LaunchVerb verb, const std::string& program,
                  const std::vector<std::string>& parameters) override {
    std::wstring file = WideFromAnsi(program);
    std::wstring arguments = WideFromAnsi(CommandLineOf(parameters));
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT | SEE_MASK_FLAG_NO_UI;
    // The program has no hidden application window of its own to own the consent dialog.
    info.hwnd = nullptr;
    info.lpVerb = verb == LaunchVerb::kRunAs ? L"runas" : L"open";
    info.lpFile = file.c_str();
    info.lpParameters = arguments.c_str();
    info.nShow = SW_SHOWNORMAL;
    // Refused consent and shell failures alike leave no process to wait for.
    if (!ShellExecuteExW(&info) || info.hProcess == nullptr) return false;
    UniqueKernelHandle process(info.hProcess);
    while (WaitForSingleObject(process.get(), kWaitStepMs) == WAIT_TIMEOUT) {
    }
    return true;
  }
};

BOOL CALLBACK BringForward(HWND window, LPARAM) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
  SetForegroundWindow(window);
  return FALSE;  // the first visible window of ours is enough
}

}  // namespace

ProcessLauncher& NativeProcessLauncher() {
  static ShellLauncher launcher;
  return launcher;
}

void BringApplicationToFront() { EnumWindows(BringForward, 0); }

}  // namespace vp::platform
