// POSIX threads with a stack size of the caller's choosing.
#include "platform/Thread.h"

#include <limits.h>
#include <pthread.h>

#include <algorithm>
#include <system_error>

namespace vp::platform {

struct Thread::Native {
  pthread_t id;
};

namespace {

void* Run(void* argument) noexcept {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
  (*body)();
  return nullptr;
}

// Owns an attribute object from its initialisation on.
struct Attributes {
  pthread_attr_t value;
  Attributes() {
    int error = ::pthread_attr_init(&value);
    if (error != 0) throw std::system_error(error, std::generic_category(), "pthread_attr_init");
  }
  ~Attributes() { ::pthread_attr_destroy(&value); }
};

}  // namespace

Thread::Thread(std::size_t stack_bytes, std::function<void()> body) {
  Attributes attributes;
  int error = ::pthread_attr_setstacksize(&attributes.value,
                                          std::max<std::size_t>(stack_bytes, PTHREAD_STACK_MIN));
  if (error != 0)
    throw std::system_error(error, std::generic_category(), "pthread_attr_setstacksize");
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  std::unique_ptr<Native, NativeDeleter> native(new Native);
  error = ::pthread_create(&native->id, &attributes.value, Run, owned.get());
  if (error != 0) throw std::system_error(error, std::generic_category(), "pthread_create");
  owned.release();  // the thread frees it
  native_ = std::move(native);
}

void Thread::NativeDeleter::operator()(Native* native) const { delete native; }

void Thread::Join(Native& native) { ::pthread_join(native.id, nullptr); }

}  // namespace vp::platform
