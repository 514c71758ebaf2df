// The POSIX half of the certificate seam: no certificate service, the trusted roots are files in
// Debian's ca-certificates layout, and the bundle is rebuilt by update-ca-certificates.
#include "platform/CertStore.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/CertStoreNative.h"

extern char** environ;

namespace vp::platform {
namespace {

constexpr const char* kNull = "/dev/null";

// Owns the spawn file actions, freed however the run ends.
class SpawnActions {
 public:
  SpawnActions() { ok_ = ::posix_spawn_file_actions_init(&actions_) == 0; }
  ~SpawnActions() {
    if (ok_) ::posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;

  // Standard input and output on /dev/null: the command must neither wait for a person at the
  // terminal nor fill it with its progress lines. Its standard error stays, to tell why it failed.
  bool Silence() {
    if (!ok_) return false;
    return ::posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, kNull, O_RDONLY, 0) == 0 &&
           ::posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, kNull, O_WRONLY, 0) == 0;
  }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
  bool ok_ = false;
};

}  // namespace

CertService* NativeCertService() { return nullptr; }

TrustStoreFiles NativeTrustStoreFiles() {
  // An absolute path to the command: the program may run as root, and a search of PATH would let
  // whoever controls PATH decide what runs.
  return {"/usr/local/share/ca-certificates", "/etc/ssl/certs/ca-certificates.crt",
          "/usr/sbin/update-ca-certificates"};
}

bool RunTrustStoreUpdate(const std::string& command) {
  if (command.empty()) return false;
  SpawnActions actions;
  if (!actions.Silence()) return false;
  std::string program = command;
  char* argv[] = {program.data(), nullptr};
  pid_t pid = 0;
  if (::posix_spawn(&pid, program.c_str(), actions.get(), nullptr, argv, environ) != 0)
    return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace vp::platform
