// Program entry: one executable, whose role this process takes is decided by its command line
// and its parent process.
#include <string>
#include <vector>

#include "app/ProgramEntry.h"
#include "host/KesCertStore.h"
#include "platform/MainThread.h"
#include "platform/ProcessMemory.h"

int main(int argc, char** argv) {
  vp::platform::PrepareHeapForManyThreads();
  vp::platform::MarkCurrentThreadAsMain();
  // A forwarder that checks its peer asks the certificate store about what OpenSSL alone does
  // not trust.
  vp::UseCertStoreForForwarderTrust();
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return vp::RunProgram(arguments);
}
