// A text that one thread may replace while others read it: each reader gets the whole old or the
// whole new value, never a torn one.
#pragma once

#include <mutex>
#include <string>

namespace vp {

class SharedText {
 public:
  SharedText() = default;
  SharedText(std::string value) : value_(std::move(value)) {}  // NOLINT: reads like a string
  SharedText(const SharedText& other) : value_(other.get()) {}
  SharedText& operator=(const SharedText& other) {
    if (this != &other) set(other.get());
    return *this;
  }
  SharedText& operator=(std::string value) {
    set(std::move(value));
    return *this;
  }

  std::string get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return value_;
  }
  void set(std::string value) {
    std::lock_guard<std::mutex> lock(mutex_);
    value_.swap(value);
  }
  operator std::string() const { return get(); }  // NOLINT: reads like a string

  friend bool operator==(const SharedText& a, const std::string& b) { return a.get() == b; }

 private:
  mutable std::mutex mutex_;
  std::string value_;
};

}  // namespace vp
