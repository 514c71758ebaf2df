// The socket watch on Linux: epoll, one shot per socket, and an eventfd to wake the wait.
#include "platform/SocketWatch.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/Handles.h"
#include "platform/posix/SystemError.h"

namespace vp::platform {
namespace {

// Ready sockets taken from the system in one call; more wait for the next.
constexpr int kEventsPerWait = 256;
// The wake's own key; the caller's keys are never zero.
constexpr std::uint64_t kWakeKey = 0;

}  // namespace

struct SocketWatch::Native {
  UniqueFd epoll;
  UniqueFd wake;
};

SocketWatch::SocketWatch() : native_(std::make_unique<Native>()) {
  native_->epoll.reset(::epoll_create1(EPOLL_CLOEXEC));
  if (!native_->epoll) ThrowSocketError("epoll_create1", errno);
  native_->wake.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!native_->wake) ThrowSocketError("eventfd", errno);
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u64 = kWakeKey;
  if (::epoll_ctl(native_->epoll.get(), EPOLL_CTL_ADD, native_->wake.get(), &event) != 0)
    ThrowSocketError("epoll_ctl", errno);
}

SocketWatch::~SocketWatch() = default;

void SocketWatch::Add(const Socket& socket, std::uintptr_t key) {
  epoll_event event{};
  // One shot: once reported, the socket belongs to whoever serves it and is watched no more.
  event.events = EPOLLIN | EPOLLRDHUP | EPOLLONESHOT;
  event.data.u64 = key;
  if (::epoll_ctl(native_->epoll.get(), EPOLL_CTL_ADD, static_cast<int>(socket.native()), &event) !=
      0)
    ThrowSocketError("epoll_ctl", errno);
}

void SocketWatch::Drop(const Socket& socket, std::uintptr_t) {
  ::epoll_ctl(native_->epoll.get(), EPOLL_CTL_DEL, static_cast<int>(socket.native()), nullptr);
}

std::vector<std::uintptr_t> SocketWatch::Wait(int timeout_ms) {
  epoll_event events[kEventsPerWait];
  int count;
  while ((count = ::epoll_wait(native_->epoll.get(), events, kEventsPerWait, timeout_ms)) < 0)
    if (errno != EINTR) ThrowSocketError("epoll_wait", errno);
  std::vector<std::uintptr_t> ready;
  for (int i = 0; i < count; ++i) {
    if (events[i].data.u64 != kWakeKey) {
      ready.push_back(static_cast<std::uintptr_t>(events[i].data.u64));
      continue;
    }
    std::uint64_t wakes;
    while (::read(native_->wake.get(), &wakes, sizeof wakes) < 0 && errno == EINTR) {
    }
  }
  return ready;
}

void SocketWatch::Wake() {
  std::uint64_t one = 1;
  while (::write(native_->wake.get(), &one, sizeof one) < 0 && errno == EINTR) {
  }
}

}  // namespace vp::platform
