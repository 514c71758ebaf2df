// Worker threads hand calls to the program's main thread and wait until they have run; the main
// loop (the window message loop, or the foreground server's loop) runs them.
#pragma once

#include <functional>

namespace vp::platform {

// Marks the calling thread as the one that runs handed-over calls. Called once at start.
void MarkCurrentThreadAsMain();
bool IsMainThread();

// Runs call on the main thread and blocks until it has returned. Called on the main thread itself,
// it runs the call at once. An exception thrown by the call is rethrown in the caller.
void Synchronize(std::function<void()> call);

// For the main loop: runs every call handed over so far, waiting up to timeout_ms for the first
// one. Returns the number of calls run.
int RunMainThreadCalls(int timeout_ms);

}  // namespace vp::platform
