// Sole ownership of one operating-system handle, closed when its owner goes.
#pragma once

#include <utility>

namespace vp::platform {

// Traits name the handle type and the two things that differ between kinds of handle:
//   using Handle = ...;
//   static Handle Invalid() noexcept;      // the value that owns nothing
//   static void Close(Handle) noexcept;    // called only for a value other than Invalid()
// The traits of each system's handles live with that system's code, which alone knows its types.
template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
  ~UniqueHandle() { reset(); }

  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Handle get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != Traits::Invalid(); }

  // Hands the handle over to a caller that closes it itself, for one whose close can fail.
  Handle release() noexcept { return std::exchange(handle_, Traits::Invalid()); }

  void reset(Handle handle = Traits::Invalid()) noexcept {
    Handle old = std::exchange(handle_, handle);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

 private:
  Handle handle_ = Traits::Invalid();
};

}  // namespace vp::platform
