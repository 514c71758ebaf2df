// The window application around the main window.
#include "ui/TrayApplication.h"

#include <exception>

#include "platform/MainThread.h"
#include "ui/HandlerErrors.h"
#include "ui/MainFormU.h"
#include "ui/MainWindow.h"

namespace vp {

int RunTrayApplication(HostActions& host, std::uint16_t proxy_port) {
  platform::MarkCurrentThreadAsMain();
  try {
    TMainForm form(
        host, [](platform::MainWindowEvents& events) { return platform::CreateMainWindow(events); },
        proxy_port);
    form.Window().Run();
    return 0;
  } catch (const std::exception& error) {
    ShowHandlerError(error);
    return 1;
  }
}

}  // namespace vp
