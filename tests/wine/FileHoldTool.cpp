// A Windows test tool of the Wine end-to-end checks: holds a file as a process without the right
// to change it sees it (still readable, so it can be backed up, but not to be opened for writing),
// which Wine does not give root otherwise.
//
//   vp-file-hold FILE     prints "held" once the file is open, then holds it until Ctrl+C (SIGINT
//                         under Wine) or at most kLifetimeSeconds
#include <chrono>
#include <cstdio>
#include <exception>
#include <thread>

#include "platform/FileSystem.h"
#include "platform/Termination.h"

namespace {

constexpr int kLifetimeSeconds = 300;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vp-file-hold FILE\n");
    return 2;
  }
  vp::platform::InstallTerminationHandler();
  try {
    vp::platform::FileHoldForTesting hold(argv[1]);
    std::puts("held");
    std::fflush(stdout);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(kLifetimeSeconds);
    while (!vp::platform::TerminationRequested() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vp-file-hold: %s\n", error.what());
    return 1;
  }
  return 0;
}
