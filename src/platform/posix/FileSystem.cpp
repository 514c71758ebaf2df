// Files and folders for the POSIX build.
#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>

#include "platform/Error.h"
#include "platform/posix/SystemError.h"

namespace vp::platform {
namespace {

std::mutex g_program_path_mutex;
std::string g_program_path_override;
std::string g_appdata_override;

// Owns one file descriptor.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

[[noreturn]] void ThrowFileError(ErrorKind kind, const char* what, const std::string& path,
                                 int err) {
  throw Error(kind, std::string(what) + " \"" + path + "\". " + SystemErrorText(err), what, err);
}

}  // namespace

std::string ProgramFilePath() {
  {
    std::lock_guard<std::mutex> lock(g_program_path_mutex);
    if (!g_program_path_override.empty()) return g_program_path_override;
  }
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<std::size_t>(n));
}

void SetProgramFilePathForTesting(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_program_path_mutex);
  g_program_path_override = path;
}

void SetCommonAppDataFolderForTesting(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_program_path_mutex);
  g_appdata_override = path;
}

std::string CommonAppDataFolder() {
  {
    std::lock_guard<std::mutex> lock(g_program_path_mutex);
    if (!g_appdata_override.empty()) return g_appdata_override;
  }
  const char* over = std::getenv("VORMETRA_COMMON_APPDATA");
  if (over && *over) return over;
  return "/var/lib";
}

char PathDelimiter() { return '/'; }

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::int64_t FileSize(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  std::size_t slash = trimmed.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !ForceDirectories(trimmed.substr(0, slash)))
    return false;
  return ::mkdir(trimmed.c_str(), 0755) == 0 || errno == EEXIST;
}

std::string ReadFileBytes(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) ThrowFileError(ErrorKind::kFileOpen, "Cannot open file", path, errno);
  std::string bytes;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileError(ErrorKind::kFileOpen, "Cannot open file", path, errno);
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (fd.get() < 0) ThrowFileError(ErrorKind::kFileCreate, "Cannot create file", path, errno);
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileError(ErrorKind::kFileCreate, "Cannot create file", path, errno);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd.release()) != 0)
    ThrowFileError(ErrorKind::kFileCreate, "Cannot create file", path, errno);
}

}  // namespace vp::platform
