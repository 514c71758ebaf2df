// The console that a role which prints (the foreground server) writes to. The Windows program is a
// window program, so that the tray application opens no console window of its own; such a role
// borrows the console of whoever started it instead, or opens one.
#pragma once

#include <string>

namespace vp::platform {

// Gives the process a console, so that Ctrl+C and closing that console reach it: the starting
// process's console, or a new one when there is none to borrow (started from the desktop).
// Standard output and standard error that lead nowhere go to that console; streams already handed
// over (a file, a pipe, a terminal) keep going where they go. Nothing to do on POSIX.
void UseParentConsole();

// Writes one line (UTF-8) to the standard error its starter gave the process, or else to the
// starter's console; started from the desktop it has neither, and the line goes nowhere. So a
// script or an installer that runs a task switch can read why the task failed.
void ReportToStarter(const std::string& line);

// Writes the text (UTF-8) to standard output, after UseParentConsole: a console shows it in its
// own characters whatever its code page; a file or a pipe gets the UTF-8 bytes.
void PrintOutput(const std::string& text);

}  // namespace vp::platform
