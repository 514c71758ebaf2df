// A POSIX program always has the standard streams its starter gave it.
#include "platform/Console.h"

#include <cstdio>

namespace vp::platform {

void UseParentConsole() {}

void ReportToStarter(const std::string& line) {
  std::fputs((line + "\n").c_str(), stderr);
  std::fflush(stderr);
}

void PrintOutput(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

}  // namespace vp::platform
