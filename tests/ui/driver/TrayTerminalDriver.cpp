// The tray application over a double of the hosts file, the service and the certificate store,
// for the terminal front end's end-to-end test. Its own proxy listens on a free port; the settings
// file lies where VORMETRA_COMMON_APPDATA says. With the argument "service" the service counts as
// installed and running. The double's actions are listed on standard error at the end.
#include <cstdio>
#include <string>

#include "support/FakeHostActions.h"
#include "ui/TrayApplication.h"

int main(int argc, char** argv) {
  vp::test::FakeHostActions host;
  if (argc > 1 && std::string(argv[1]) == "service") {
    host.service_installed = true;
    host.service_running = true;
  }
  int code = vp::RunTrayApplication(host, 0);
  for (const std::string& action : host.actions())
    std::fprintf(stderr, "host: %s\n", action.c_str());
  return code;
}
