// What other programs' windows show, read from outside as an accessibility tool would: for the
// end-to-end checks of the real windows, which drive them with the keyboard and mouse and read
// back what they say. Nothing of the program itself uses it.
#pragma once

#include <optional>
#include <string>

namespace vp::platform {

// Each looks at the desktop named (a program started on a desktop of its own, as the checks start
// the tray application, has its windows there), or at the caller's own for "".

// The text (UTF-8) of the control with that id in the first top-level window titled title;
// nothing when there is no such window or control. Elsewhere than on Windows, nothing.
std::optional<std::string> ControlTextOfWindow(const std::string& desktop, const std::string& title,
                                               int control_id);

// How many visible top-level windows of that window class there are; -1 when the desktop cannot
// be opened, 0 elsewhere than on Windows.
int VisibleWindowsOfClass(const std::string& desktop, const std::string& class_name);

}  // namespace vp::platform
