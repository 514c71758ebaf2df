// Feeds arbitrary bytes to the listener's request reader as if a client had sent them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Error.h"
#include "protocol/HttpConnection.h"

namespace {

// A connection whose peer sent exactly the fuzz input and then closed.
class MemoryIOHandler final : public vp::IOHandler {
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
  vp::platform::Socket& socket() override { return socket_; }

 private:
  std::string input_;
  std::size_t offset_ = 0;
  std::size_t written_ = 0;
  vp::platform::Socket socket_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemoryIOHandler io(std::string(reinterpret_cast<const char*>(data), size));
  vp::TIdHTTPCommandEvent handler = [](vp::TIdContext&, vp::TIdHTTPRequestInfo& request,
                                       vp::TIdHTTPResponseInfo& response) {
    response.ResponseText = request.Path;
  };
  vp::HttpConnectionOptions options;
  options.on_command_get = &handler;
  try {
    vp::ServeOneRequest(io, "127.0.0.1", options);
  } catch (const vp::Error&) {
    // a connection that fails ends without an answer
  }
  return 0;
}
