// What threads do alike on every system: joined once, and joined before they are let go.
#include "platform/Thread.h"

namespace vp::platform {

Thread::Thread() noexcept = default;

Thread::~Thread() { join(); }

Thread::Thread(Thread&& other) noexcept = default;

Thread& Thread::operator=(Thread&& other) noexcept {
  if (this != &other) {
    join();
    native_ = std::move(other.native_);
  }
  return *this;
}

void Thread::join() {
  if (!native_) return;
  Join(*native_);
  native_.reset();
}

}  // namespace vp::platform
