// Standard input read with read(2) into one buffer of our own. A C++ stream would read ahead into
// a buffer poll(2) cannot see, and the terminal windows must wait on input and on the main-thread
// queue at once.
#include "platform/posix/TerminalInput.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "platform/MainThread.h"
#include "platform/Termination.h"

namespace vp::platform {
namespace {

// How long a wait for input runs the main-thread queue before it looks at the input again.
constexpr int kWaitSliceMs = 50;
// A line this long is handed over in pieces rather than held without bound.
constexpr std::size_t kMaxLineBytes = 64 * 1024;

std::string g_pending;  // read but not yet handed out; main thread only
bool g_input_ended = false;

bool TakeLine(std::string& line) {
  std::size_t end = g_pending.find('\n');
  if (end == std::string::npos) {
    if (g_pending.size() < kMaxLineBytes && !(g_input_ended && !g_pending.empty())) return false;
    end = g_pending.size();
  }
  line = g_pending.substr(0, end);
  g_pending.erase(0, end < g_pending.size() ? end + 1 : end);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

// False at end of input. Interrupted reads (a signal) come back with nothing.
bool ReadMore() {
  char buffer[4096];
  ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
  if (got > 0) {
    g_pending.append(buffer, static_cast<std::size_t>(got));
    return true;
  }
  if (got < 0 && errno == EINTR) return true;
  g_input_ended = true;
  return false;
}

bool InputReady(int timeout_ms) {
  pollfd input = {STDIN_FILENO, POLLIN, 0};
  return ::poll(&input, 1, timeout_ms) > 0;
}

}  // namespace

LineStatus ReadTerminalLine(std::string& line, bool run_calls) {
  for (;;) {
    if (TakeLine(line)) return LineStatus::kLine;
    if (g_input_ended || TerminationRequested()) return LineStatus::kEnd;
    if (!run_calls) {
      if (InputReady(-1)) ReadMore();
      continue;
    }
    if (InputReady(0)) {
      ReadMore();
      continue;
    }
    if (RunMainThreadCalls(kWaitSliceMs) > 0) return LineStatus::kCallsRan;
  }
}

bool InputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

}  // namespace vp::platform
