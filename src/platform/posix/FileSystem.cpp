// Files and folders for the POSIX build.
#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "base/Error.h"
#include "platform/FileSystemNative.h"
#include "platform/posix/Handles.h"
#include "platform/posix/SystemError.h"

namespace vp::platform {
namespace {

std::atomic<std::int64_t> g_replace_failure_after{-1};

[[noreturn]] void ThrowFileError(ErrorKind kind, const char* what, const std::string& path,
                                 int err) {
  throw Error(kind, std::string(what) + " \"" + path + "\". " + SystemErrorText(err), what, err);
}

// Removes a temporary file unless it has been renamed into place.
class TempFileGuard {
 public:
  explicit TempFileGuard(std::string path) : path_(std::move(path)) {}
  ~TempFileGuard() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TempFileGuard(const TempFileGuard&) = delete;
  TempFileGuard& operator=(const TempFileGuard&) = delete;
  void Commit() { path_.clear(); }

 private:
  std::string path_;
};

// Writes every byte, or fails with errno set; fail_after simulates a disk that fills up.
bool WriteAll(int fd, const std::string& bytes, std::int64_t fail_after) {
  std::size_t limit = bytes.size();
  if (fail_after >= 0 && static_cast<std::uint64_t>(fail_after) < limit)
    limit = static_cast<std::size_t>(fail_after);
  std::size_t done = 0;
  while (done < limit) {
    ssize_t n = ::write(fd, bytes.data() + done, limit - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  if (limit < bytes.size()) {
    errno = ENOSPC;
    return false;
  }
  return true;
}

// After a rename, the directory entry itself must reach the disk for the new file to survive a
// power loss; a failure here leaves the file whole either way, so it is not reported.
void SyncDirectoryOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() >= 0) ::fsync(fd.get());
}

}  // namespace

std::string NativeProgramFilePath() {
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<std::size_t>(n));
}

// A package installs the program under /usr (the file-system hierarchy's read-only, shareable
// part); a build folder, /opt or a home holds it together with its files, as on Windows.
bool ProgramFolderHoldsItsFiles() { return ProgramFilePath().rfind("/usr/", 0) != 0; }

std::string NativeCommonAppDataFolder() {
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

bool CanOpenExclusively(const std::string& path) {
  // O_NONBLOCK: a FIFO planted at the path must not hang the test.
  UniqueFd fd(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return false;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  // POSIX has no sharing modes; an exclusive advisory lock is the nearest thing a program that
  // edits the file would hold.
  return ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0;
}

bool CanCreateFileIn(const std::string& folder) {
  return DirectoryExists(folder) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

FileHoldForTesting::FileHoldForTesting(const std::string& path)
    : handle_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
  if (handle_ >= 0) ::flock(static_cast<int>(handle_), LOCK_EX);
}

FileHoldForTesting::~FileHoldForTesting() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool CopyFileNoOverwrite(const std::string& source, const std::string& target) {
  struct stat st;
  if (target.empty() || ::lstat(target.c_str(), &st) == 0) return false;
  std::string bytes;
  try {
    bytes = ReadFileBytes(source);
  } catch (const Error&) {
    return false;
  }
  mode_t mode = ::stat(source.c_str(), &st) == 0 ? st.st_mode & 07777 : 0644;
  std::string pattern = target + ".XXXXXX";
  std::vector<char> temp_name(pattern.begin(), pattern.end());
  temp_name.push_back('\0');
  UniqueFd fd(::mkostemp(temp_name.data(), O_CLOEXEC));
  if (fd.get() < 0) return false;
  TempFileGuard guard(temp_name.data());
  ::fchmod(fd.get(), mode);
  if (!WriteAll(fd.get(), bytes, -1) || ::fsync(fd.get()) != 0 || ::close(fd.release()) != 0)
    return false;
  // link() refuses an existing name, so a target made meanwhile by somebody else survives, and
  // the copy appears whole or not at all.
  if (::link(temp_name.data(), target.c_str()) != 0) return false;
  SyncDirectoryOf(target);
  return true;
}

std::string ReadFileBytes(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
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

namespace {

void WriteWhole(const std::string& path, const std::string& bytes, int mode_flag) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | mode_flag | O_CLOEXEC, 0644));
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

}  // namespace

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  WriteWhole(path, bytes, O_TRUNC);
}

void AppendFileBytes(const std::string& path, const std::string& bytes) {
  WriteWhole(path, bytes, O_APPEND);
}

bool MoveFileReplacing(const std::string& source, const std::string& target) {
  return ::rename(source.c_str(), target.c_str()) == 0;
}

void ReplaceFileBytes(const std::string& path, const std::string& bytes) {
  std::int64_t fail_after = g_replace_failure_after.exchange(-1);
  // An empty path would put the temporary file in the current folder.
  if (path.empty()) ThrowFileError(ErrorKind::kFileCreate, "Cannot create file", path, ENOENT);
  std::string pattern = path + ".XXXXXX";
  std::vector<char> temp_name(pattern.begin(), pattern.end());
  temp_name.push_back('\0');
  UniqueFd fd(::mkostemp(temp_name.data(), O_CLOEXEC));
  if (fd.get() < 0) ThrowFileError(ErrorKind::kFileCreate, "Cannot create file", path, errno);
  TempFileGuard guard(temp_name.data());
  // mkostemp makes the file private (0600); the replacement keeps the old file's mode instead.
  struct stat st;
  mode_t mode = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_mode & 07777 : 0644;
  ::fchmod(fd.get(), mode);
  if (!WriteAll(fd.get(), bytes, fail_after) || ::fsync(fd.get()) != 0 ||
      ::close(fd.release()) != 0)
    ThrowFileError(ErrorKind::kFileCreate, "Cannot create file", path, errno);
  if (::rename(temp_name.data(), path.c_str()) != 0)
    ThrowFileError(ErrorKind::kFileCreate, "Cannot create file", path, errno);
  guard.Commit();
  SyncDirectoryOf(path);
}

void SetReplaceFailureForTesting(std::int64_t after_bytes) {
  g_replace_failure_after = after_bytes;
}

}  // namespace vp::platform
