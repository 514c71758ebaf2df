// Worker threads hand calls to the program's main thread and wait until they have run; the main
// loop (the window message loop, or the foreground server's loop) runs them.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace vp::platform {

// Marks the calling thread as the one that runs handed-over calls. Called once at start.
void MarkCurrentThreadAsMain();
bool IsMainThread();

// Runs call on the main thread and blocks until it has returned. Called on the main thread itself,
// it runs the call at once. An exception thrown by the call is rethrown in the caller.
void Synchronize(std::function<void()> call);

// Hands call to the main thread and returns at once; what it throws is dropped.
void PostToMainThread(std::function<void()> call);

// For the main loop: runs every call handed over so far, waiting up to timeout_ms for the first
// one. Returns the number of calls run.
int RunMainThreadCalls(int timeout_ms);

// Runs tick on the main thread about every interval, from the main loop, until destroyed. Its own
// thread never waits for the main thread, so destroying it there cannot deadlock; a tick still
// queued then does nothing, and a main thread busy elsewhere gets one tick, not a pile of them.
class MainThreadTicker {
 public:
  MainThreadTicker(std::chrono::milliseconds interval, std::function<void()> tick);
  ~MainThreadTicker();
  MainThreadTicker(const MainThreadTicker&) = delete;
  MainThreadTicker& operator=(const MainThreadTicker&) = delete;

 private:
  struct Shared {
    std::function<void()> tick;
    std::atomic<bool> queued{false};
  };
  void Loop(std::chrono::milliseconds interval);

  std::shared_ptr<Shared> shared_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;  // guarded
  std::thread thread_;
};

}  // namespace vp::platform
