// SIGINT, SIGTERM and SIGHUP for the POSIX foreground process: a closed terminal or an ending
// session ends it as Ctrl+C does, so the tray's terminal front end still saves its settings.
#include "platform/Termination.h"

#include <signal.h>

#include <atomic>

namespace vp::platform {
namespace {

std::atomic<bool> g_requested{false};

extern "C" void OnTerminationSignal(int) { g_requested.store(true); }

}  // namespace

void InstallTerminationHandler() {
  struct sigaction action = {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGHUP, &action, nullptr);
  // A client that hangs up mid-answer must not kill the server; send() reports EPIPE instead.
  ::signal(SIGPIPE, SIG_IGN);
}

bool TerminationRequested() { return g_requested.load(); }

}  // namespace vp::platform
