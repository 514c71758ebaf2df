// A Windows test tool of the Wine end-to-end checks: reads what the program's windows show, which
// xdotool cannot.
//
//   vp-window-text DESKTOP control TITLE ID   prints the text of the control with that id in the
//                                     window titled TITLE (UTF-8); exit 1 when there is none
//   vp-window-text DESKTOP count CLASS   prints how many visible top-level windows of that class
//                                     there are (tooltips_class32: the tray's balloon among them)
// DESKTOP is the Wine desktop the program runs on (explorer /desktop=NAME).
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/OtherWindows.h"

int main(int argc, char** argv) {
  std::string command = argc > 2 ? argv[2] : "";
  if (command == "control" && argc == 5) {
    std::optional<std::string> text =
        vp::platform::ControlTextOfWindow(argv[1], argv[3], std::atoi(argv[4]));
    if (!text) return 1;
    std::printf("%s\n", text->c_str());
    return 0;
  }
  if (command == "count" && argc == 4) {
    std::printf("%d\n", vp::platform::VisibleWindowsOfClass(argv[1], argv[3]));
    return 0;
  }
  std::fprintf(stderr, "usage: vp-window-text DESKTOP control TITLE ID | DESKTOP count CLASS\n");
  return 2;
}
