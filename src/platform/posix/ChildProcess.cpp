// posix_spawn with an optional pipe for the child's output.
#include "platform/posix/ChildProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/posix/Handles.h"

extern char** environ;

namespace vp::platform {
namespace {

int WaitForChild(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return 127;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 127;
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

}  // namespace

ChildResult RunChild(const std::vector<std::string>& argv, bool capture_output) {
  ChildResult result;
  if (argv.empty()) return result;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions_storage;
  posix_spawn_file_actions_init(&actions_storage);
  UniqueSpawnActions actions(&actions_storage);
  UniqueFd read_end;
  UniqueFd write_end;
  if (capture_output) {
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
      result.exit_status = errno;
      return result;
    }
    read_end.reset(pipe_fds[0]);
    write_end.reset(pipe_fds[1]);
    posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(actions.get(), write_end.get(), 1);
    posix_spawn_file_actions_adddup2(actions.get(), write_end.get(), 2);
  }
  pid_t pid = 0;
  int error = ::posix_spawnp(&pid, args[0], actions.get(), nullptr, args.data(), environ);
  // The child holds its own copy; ours would keep the pipe from ever reporting its end.
  write_end.reset();
  if (error != 0) {
    result.exit_status = error;
    return result;
  }
  result.started = true;
  if (capture_output) {
    result.output = ReadAll(read_end.get());
    read_end.reset();
  }
  result.exit_status = WaitForChild(pid);
  return result;
}

std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    start = end + 1;
    // An empty entry means the current folder, which is no place to take an elevator from.
    if (dir.empty() || dir[0] != '/') continue;
    std::string candidate = dir + "/" + name;
    struct stat st;
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return {};
}

}  // namespace vp::platform
