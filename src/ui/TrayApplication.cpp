// The window application around the main window.
#include "ui/TrayApplication.h"

#include <exception>

#include "platform/MainThread.h"
#include "platform/MainWindow.h"
#include "ui/HandlerErrors.h"
#include "ui/MainFormU.h"

namespace vp {

int RunTrayApplication(HostActions& host) {
  platform::MarkCurrentThreadAsMain();
  try {
    TMainForm form(host, [](platform::MainWindowEvents& events) {
      return platform::CreateMainWindow(events);
    });
    form.Window().Run();
    return 0;
  } catch (const std::exception& error) {
    ShowHandlerError(error);
    return 1;
  }
}

}  // namespace vp
