// Signals, the notification socket and journal lines for a service process under systemd.
#include "platform/posix/ServiceProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/CodePage.h"
#include "platform/posix/Handles.h"

namespace vp::platform::service_process {
namespace {

constexpr std::uint32_t kControlForReload = 128;
constexpr int kWatchedSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Written by the signal handler, so a plain int: the write end of the watch's pipe.
volatile sig_atomic_t g_signal_pipe = -1;

extern "C" void ForwardSignal(int signal_number) {
  int saved = errno;
  unsigned char byte = static_cast<unsigned char>(signal_number);
  // A handler can do nothing about a failed write. The result is still taken: a fortified glibc
  // (the Debian package's build) marks write() warn_unused_result, which (void) does not silence.
  if (g_signal_pipe >= 0) {
    [[maybe_unused]] ssize_t written = ::write(g_signal_pipe, &byte, 1);
  }
  errno = saved;
}

// The signal watch: a pipe the handler writes signal numbers into, read by one thread that hands
// them on as control codes. A zero byte ends it.
class SignalWatch {
 public:
  bool Start(ServiceControlCall handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (thread_.joinable()) return true;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    read_fd_.reset(fds[0]);
    write_fd_.reset(fds[1]);
    g_signal_pipe = write_fd_.get();
    struct sigaction action = {};
    action.sa_handler = ForwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal_number : kWatchedSignals) ::sigaction(signal_number, &action, nullptr);
    thread_ = std::thread([this, handler = std::move(handler)] { Forward(handler); });
    return true;
  }

  void Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!thread_.joinable()) return;
    for (int signal_number : kWatchedSignals) ::signal(signal_number, SIG_DFL);
    g_signal_pipe = -1;
    unsigned char end = 0;
    [[maybe_unused]] ssize_t written = ::write(write_fd_.get(), &end, 1);
    thread_.join();
    read_fd_.reset();
    write_fd_.reset();
  }

 private:
  void Forward(const ServiceControlCall& handler) {
    for (;;) {
      unsigned char byte = 0;
      ssize_t n = ::read(read_fd_.get(), &byte, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0 || byte == 0) return;
      handler(byte == SIGHUP ? kControlForReload : kControlStop);
    }
  }

  std::mutex mutex_;
  // Before the thread, which reads from them until Stop() ends it.
  UniqueFd read_fd_;
  UniqueFd write_fd_;
  std::thread thread_;
};

SignalWatch& Watch() {
  static SignalWatch watch;
  return watch;
}

// sd_notify without libsystemd: one datagram to the socket systemd names, "@" standing for the
// abstract namespace.
void Notify(const std::string& message) {
  const char* socket_path = std::getenv("NOTIFY_SOCKET");
  if (socket_path == nullptr || *socket_path == '\0') return;
  std::size_t length = std::strlen(socket_path);
  sockaddr_un address = {};
  if (length >= sizeof address.sun_path) return;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, socket_path, length);
  if (address.sun_path[0] == '@') address.sun_path[0] = '\0';
  UniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!fd) return;
  ::sendto(fd.get(), message.data(), message.size(), MSG_NOSIGNAL,
           reinterpret_cast<const sockaddr*>(&address),
           static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length));
}

}  // namespace

bool StartedBySystemd() {
  const char* invocation = std::getenv("INVOCATION_ID");
  return invocation != nullptr && *invocation != '\0';
}

void Run(const std::string& service_name, const ServiceMainCall& main) {
  // A client that hangs up mid-answer must not end the service.
  ::signal(SIGPIPE, SIG_IGN);
  main(service_name);
  Watch().Stop();
}

bool WatchSignals(ServiceControlCall handler) { return Watch().Start(std::move(handler)); }

void NotifyState(ServiceState state) {
  switch (state) {
    case ServiceState::kRunning:
      Notify("READY=1\nSTATUS=Running");
      break;
    case ServiceState::kStopPending:
      Notify("STOPPING=1\nSTATUS=Stopping");
      break;
    case ServiceState::kStartPending:
      Notify("STATUS=Starting");
      break;
    case ServiceState::kStopped:
      Notify("STATUS=Stopped");
      break;
    default:
      break;  // systemd has no pause
  }
}

void WriteJournalLines(int priority, const std::string& text) {
  std::string utf8 = Utf8FromAnsi(text);
  std::string prefix = "<" + std::to_string(priority) + ">";
  std::string out;
  std::size_t start = 0;
  // Every line carries the prefix, or the journal files the later lines of a message at the
  // default priority.
  do {
    std::size_t end = utf8.find('\n', start);
    if (end == std::string::npos) end = utf8.size();
    std::string line = utf8.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out += prefix + line + "\n";
    start = end + 1;
  } while (start < utf8.size());
  std::fputs(out.c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace vp::platform::service_process
