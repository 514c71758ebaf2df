// The queue of calls handed to the main thread. Plain standard C++: both platforms' main loops
// drain it (the Windows message loop wakes for it through its own timer).
#include "platform/MainThread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace vp::platform {
namespace {

struct PendingCall {
  std::function<void()> call;
  bool done = false;
  std::exception_ptr error;
};

std::mutex g_mutex;
std::condition_variable g_queued;
std::condition_variable g_finished;
std::deque<std::shared_ptr<PendingCall>> g_queue;
std::thread::id g_main_thread = std::this_thread::get_id();

}  // namespace

void MarkCurrentThreadAsMain() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_main_thread = std::this_thread::get_id();
}

bool IsMainThread() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_main_thread == std::this_thread::get_id();
}

void Synchronize(std::function<void()> call) {
  if (IsMainThread()) {
    call();
    return;
  }
  auto pending = std::make_shared<PendingCall>();
  pending->call = std::move(call);
  std::unique_lock<std::mutex> lock(g_mutex);
  g_queue.push_back(pending);
  g_queued.notify_all();
  g_finished.wait(lock, [&] { return pending->done; });
  if (pending->error) std::rethrow_exception(pending->error);
}

int RunMainThreadCalls(int timeout_ms) {
  std::unique_lock<std::mutex> lock(g_mutex);
  g_queued.wait_for(lock, std::chrono::milliseconds(timeout_ms), [] { return !g_queue.empty(); });
  int run = 0;
  while (!g_queue.empty()) {
    std::shared_ptr<PendingCall> pending = g_queue.front();
    g_queue.pop_front();
    lock.unlock();
    try {
      pending->call();
    } catch (...) {
      pending->error = std::current_exception();
    }
    lock.lock();
    pending->done = true;
    ++run;
    g_finished.notify_all();
  }
  return run;
}

}  // namespace vp::platform
