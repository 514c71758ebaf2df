// Threads whose stack the program sizes itself. std::thread takes the system's default, which on
// Windows is the program file's stack reservation (2 MB with MinGW-w64) for every thread: a
// 32-bit process runs out of address space for stacks long before it runs out of anything else.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace vp::platform {

class Thread {
 public:
  Thread() noexcept;
  // Runs body on a new thread whose stack may grow to stack_bytes (rounded up to what the system
  // hands out). Throws std::system_error when the system cannot start another thread.
  Thread(std::size_t stack_bytes, std::function<void()> body);
  // Joins a thread that has not been joined.
  ~Thread();
  Thread(Thread&& other) noexcept;
  Thread& operator=(Thread&& other) noexcept;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  bool joinable() const { return native_ != nullptr; }
  // Waits until the thread has ended.
  void join();

  struct Native;
  // Frees what the platform's half made; there, where Native is whole.
  struct NativeDeleter {
    void operator()(Native* native) const;
  };

 private:
  // Waits for the system's thread to end; the platform's half.
  static void Join(Native& native);

  std::unique_ptr<Native, NativeDeleter> native_;
};

}  // namespace vp::platform
