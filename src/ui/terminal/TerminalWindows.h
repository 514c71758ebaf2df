// The terminal front end's parts, shared by its main window, settings dialog and help window.
#pragma once

#include <memory>
#include <string>

#include "ui/HelpWindow.h"
#include "ui/SettingsDialog.h"

namespace vp::platform {

// Writes the text to standard output at once.
void TerminalWrite(const std::string& text);

std::unique_ptr<SettingsDialog> CreateTerminalSettingsDialog(SettingsDialogEvents& events);
std::unique_ptr<HelpWindow> CreateTerminalHelpWindow(const std::string& text);

}  // namespace vp::platform
