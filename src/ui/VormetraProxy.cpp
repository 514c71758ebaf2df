// Program entry: one executable, whose role this process takes is decided by its command line
// and its parent process.
#include <string>
#include <vector>

#include "platform/MainThread.h"
#include "ui/ProgramEntry.h"

int main(int argc, char** argv) {
  vp::platform::MarkCurrentThreadAsMain();
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return vp::RunProgram(arguments);
}
