// A connection whose peer sent exactly the fuzz input and then closed; what we write is counted
// and dropped.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "io/IOHandler.h"
#include "platform/Socket.h"

namespace vp::fuzz {

class MemoryIOHandler final : public IOHandler {
 public:
  explicit MemoryIOHandler(std::string input) : input_(std::move(input)) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    std::size_t n = std::min(size, input_.size() - offset_);
    input_.copy(buffer, n, offset_);
    offset_ += n;
    return n;
  }
  void Write(std::string_view data) override { written_ += data.size(); }
  bool WaitReadable(int) override { return offset_ < input_.size(); }
  platform::Socket& socket() override { return socket_; }

 private:
  std::string input_;
  std::size_t offset_ = 0;
  std::size_t written_ = 0;
  platform::Socket socket_;
};

}  // namespace vp::fuzz
