// Program entry: picks the role of this process from its command line.
#include <cstdio>
#include <cctype>
#include <cstring>
#include <string>

#include "host/ForegroundServer.h"
#include "platform/ProcessMemory.h"

namespace {

// Windows-style switches: "/serve"; "-serve" and "--serve" are taken too.
bool IsSwitch(const char* argument, const char* name) {
  std::string text = argument;
  std::size_t start = text.find_first_not_of("/-");
  if (start == 0 || start == std::string::npos) return false;
  text = text.substr(start);
  if (text.size() != std::strlen(name)) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != name[i]) return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  vp::platform::PrepareHeapForManyThreads();
  if (argc >= 2 && IsSwitch(argv[1], "serve")) return vp::RunForegroundServer();
  std::fprintf(stderr, "Usage: vormetra-proxy /serve\n");
  return 2;
}
