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

struct CallQueue {
  std::mutex mutex;
  std::condition_variable queued;
  std::condition_variable finished;
  std::deque<std::shared_ptr<PendingCall>> calls;
  std::thread::id main_thread = std::this_thread::get_id();
};

// Never destroyed: detached worker threads (a discovery run waiting for its resolver) may still
// be blocked in Synchronize when the program ends, and destroying a condition variable somebody
// waits on, or a mutex somebody holds, is undefined behaviour.
CallQueue& Queue() {
  static CallQueue* const queue = new CallQueue;
  return *queue;
}

// Made during static initialisation, so that until MarkCurrentThreadAsMain the main thread is
// the one that runs main(), not whichever thread first hands over a call.
[[maybe_unused]] const CallQueue& g_queue_at_start = Queue();

}  // namespace

void MarkCurrentThreadAsMain() {
  CallQueue& q = Queue();
  std::lock_guard<std::mutex> lock(q.mutex);
  q.main_thread = std::this_thread::get_id();
}

bool IsMainThread() {
  CallQueue& q = Queue();
  std::lock_guard<std::mutex> lock(q.mutex);
  return q.main_thread == std::this_thread::get_id();
}

void Synchronize(std::function<void()> call) {
  if (IsMainThread()) {
    call();
    return;
  }
  CallQueue& q = Queue();
  auto pending = std::make_shared<PendingCall>();
  pending->call = std::move(call);
  std::unique_lock<std::mutex> lock(q.mutex);
  q.calls.push_back(pending);
  q.queued.notify_all();
  q.finished.wait(lock, [&] { return pending->done; });
  if (pending->error) std::rethrow_exception(pending->error);
}

void PostToMainThread(std::function<void()> call) {
  CallQueue& q = Queue();
  auto pending = std::make_shared<PendingCall>();
  pending->call = std::move(call);
  std::lock_guard<std::mutex> lock(q.mutex);
  q.calls.push_back(std::move(pending));
  q.queued.notify_all();
}

int RunMainThreadCalls(int timeout_ms) {
  CallQueue& q = Queue();
  std::unique_lock<std::mutex> lock(q.mutex);
  q.queued.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return !q.calls.empty(); });
  // Only the calls handed over so far: workers that keep handing over calls must not keep the
  // main loop from its own work.
  std::deque<std::shared_ptr<PendingCall>> batch;
  batch.swap(q.calls);
  int run = 0;
  for (const std::shared_ptr<PendingCall>& pending : batch) {
    lock.unlock();
    try {
      pending->call();
    } catch (...) {
      pending->error = std::current_exception();
    }
    // The worker may free what the call captured as soon as it sees done.
    pending->call = nullptr;
    lock.lock();
    pending->done = true;
    ++run;
    q.finished.notify_all();
  }
  return run;
}

MainThreadTicker::MainThreadTicker(std::chrono::milliseconds interval, std::function<void()> tick)
    : shared_(std::make_shared<Shared>()) {
  shared_->tick = std::move(tick);
  thread_ = std::thread([this, interval] { Loop(interval); });
}

MainThreadTicker::~MainThreadTicker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void MainThreadTicker::Loop(std::chrono::milliseconds interval) {
  std::weak_ptr<Shared> weak = shared_;
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, interval, [this] { return stopping_; })) {
    if (shared_->queued.exchange(true)) continue;
    PostToMainThread([weak] {
      std::shared_ptr<Shared> shared = weak.lock();
      if (!shared) return;
      shared->queued = false;
      shared->tick();
    });
  }
}

}  // namespace vp::platform
