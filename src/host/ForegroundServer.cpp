// The foreground form of the service host.
#include "host/ForegroundServer.h"

#include <cstdio>
#include <exception>

#include "host/KesCertStore.h"
#include "platform/MainThread.h"
#include "platform/Termination.h"
#include "proxy/ProxyServer.h"

namespace vp {
namespace {

// Short enough that Ctrl+C feels immediate; the loop also wakes for every handed-over call.
constexpr int kMainLoopWaitMs = 200;

}  // namespace

int RunForegroundServer() {
  platform::MarkCurrentThreadAsMain();
  platform::InstallTerminationHandler();
  UseCertStoreForForwarderTrust();
  try {
    TProxyServer server;
    server.SetActive(true);
    std::fprintf(stderr, "Vormetra Proxy listening on port %u\n", kProxyPort);
    while (!platform::TerminationRequested()) platform::RunMainThreadCalls(kMainLoopWaitMs);
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
}

}  // namespace vp
