// The console that a role which prints (the foreground server) writes to. The Windows program is a
// window program, so that the tray application opens no console window of its own; such a role
// borrows the console of whoever started it instead.
#pragma once

namespace vp::platform {

// Points standard output and standard error that lead nowhere at the starting process's console.
// Streams already handed over (a file, a pipe, a terminal) keep going where they go; with no
// console to borrow (started from the desktop) nothing changes. Nothing to do on POSIX.
void UseParentConsole();

}  // namespace vp::platform
