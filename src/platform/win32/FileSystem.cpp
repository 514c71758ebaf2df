// Files and folders for the Windows build (ANSI calls: all text is in the ANSI code page).
#include "platform/FileSystem.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "base/Error.h"
#include "platform/FileSystemNative.h"
#include "platform/win32/Handles.h"
#include "platform/win32/SystemError.h"
#include "platform/win32/win32_api.h"

namespace vp::platform {
namespace {

std::atomic<std::int64_t> g_replace_failure_after{-1};
std::atomic<unsigned> g_temp_counter{0};

[[noreturn]] void ThrowFileError(ErrorKind kind, const char* what, const std::string& path,
                                 DWORD err) {
  throw Error(kind, std::string(what) + " \"" + path + "\". " + SystemErrorText(err), what,
              static_cast<int>(err));
}

// Removes a temporary file unless it has been moved into place.
class TempFileGuard {
 public:
  explicit TempFileGuard(std::string path) : path_(std::move(path)) {}
  ~TempFileGuard() {
    if (!path_.empty()) DeleteFileA(path_.c_str());
  }
  TempFileGuard(const TempFileGuard&) = delete;
  TempFileGuard& operator=(const TempFileGuard&) = delete;
  void Commit() { path_.clear(); }

 private:
  std::string path_;
};

// Writes every byte, or fails with the last error set; fail_after simulates a disk that fills up.
bool WriteAll(HANDLE file, const std::string& bytes, std::int64_t fail_after) {
  std::size_t limit = bytes.size();
  if (fail_after >= 0 && static_cast<std::uint64_t>(fail_after) < limit)
    limit = static_cast<std::size_t>(fail_after);
  std::size_t done = 0;
  while (done < limit) {
    DWORD n = 0;
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(limit - done, 1 << 20));
    if (!WriteFile(file, bytes.data() + done, chunk, &n, nullptr)) return false;
    done += n;
  }
  if (limit < bytes.size()) {
    SetLastError(ERROR_DISK_FULL);
    return false;
  }
  return true;
}

}  // namespace

std::string NativeProgramFilePath() {
  char buffer[MAX_PATH * 4];
  DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return std::string(buffer, n);
}

// The installer gives the program's folder the rights that its files need.
bool ProgramFolderHoldsItsFiles() { return true; }

std::string NativeCommonAppDataFolder() {
  char buffer[MAX_PATH] = {};
  // A failure leaves the buffer empty; the caller then works relative to nothing.
  SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer);
  return buffer;
}

char PathDelimiter() { return '\\'; }

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::int64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  std::string trimmed = path;
  while (trimmed.size() > 3 && (trimmed.back() == '\\' || trimmed.back() == '/'))
    trimmed.pop_back();
  if (DirectoryExists(trimmed)) return true;
  std::size_t slash = trimmed.find_last_of("\\/");
  if (slash != std::string::npos && slash > 2 && !ForceDirectories(trimmed.substr(0, slash)))
    return false;
  return CreateDirectoryA(trimmed.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool CanOpenExclusively(const std::string& path) {
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(file);
}

bool CanCreateFileIn(const std::string& folder) {
  if (!DirectoryExists(folder)) return false;
  std::string probe = IncludeTrailingDelimiter(folder) + "~vp-write-test-" +
                      std::to_string(GetCurrentProcessId()) + "-" +
                      std::to_string(g_temp_counter.fetch_add(1));
  UniqueFile file(CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  return static_cast<bool>(file);
}

FileHoldForTesting::FileHoldForTesting(const std::string& path)
    : handle_(reinterpret_cast<std::intptr_t>(CreateFileA(path.c_str(), GENERIC_READ,
                                                          FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                          FILE_ATTRIBUTE_NORMAL, nullptr))) {}

FileHoldForTesting::~FileHoldForTesting() {
  HANDLE handle = reinterpret_cast<HANDLE>(handle_);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

bool CopyFileNoOverwrite(const std::string& source, const std::string& target) {
  return CopyFileA(source.c_str(), target.c_str(), TRUE) != FALSE;
}

std::string ReadFileBytes(const std::string& path) {
  UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) ThrowFileError(ErrorKind::kFileOpen, "Cannot open file", path, GetLastError());
  std::string bytes;
  char buffer[65536];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr))
      ThrowFileError(ErrorKind::kFileOpen, "Cannot open file", path, GetLastError());
    if (n == 0) break;
    bytes.append(buffer, n);
  }
  return bytes;
}

namespace {

void WriteWhole(const std::string& path, const std::string& bytes, DWORD access, DWORD share,
                DWORD disposition) {
  UniqueFile file(CreateFileA(path.c_str(), access, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) ThrowFileError(ErrorKind::kFileCreate, "Cannot create file", path, GetLastError());
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD n = 0;
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
    if (!WriteFile(file.get(), bytes.data() + done, chunk, &n, nullptr))
      ThrowFileError(ErrorKind::kFileCreate, "Cannot create file", path, GetLastError());
    done += n;
  }
}

}  // namespace

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  WriteWhole(path, bytes, GENERIC_WRITE, 0, CREATE_ALWAYS);
}

void AppendFileBytes(const std::string& path, const std::string& bytes) {
  // Readers of a log may look while it grows.
  WriteWhole(path, bytes, FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_ALWAYS);
}

bool MoveFileReplacing(const std::string& source, const std::string& target) {
  return MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

void ReplaceFileBytes(const std::string& path, const std::string& bytes) {
  std::int64_t fail_after = g_replace_failure_after.exchange(-1);
  // An empty path would put the temporary file in the current folder.
  if (path.empty())
    ThrowFileError(ErrorKind::kFileCreate, "Cannot create file", path, ERROR_PATH_NOT_FOUND);
  std::string temp_name;
  UniqueFile file;
  // CREATE_NEW never takes over a file of another writer; a clash just tries the next name.
  for (int attempt = 0; attempt < 100 && !file; ++attempt) {
    temp_name = path + "." + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(g_temp_counter++) + ".tmp";
    file.reset(CreateFileA(temp_name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (!file) ThrowFileError(ErrorKind::kFileCreate, "Cannot create file", path, GetLastError());
  TempFileGuard guard(temp_name);
  {
    // Closed before the guard acts and before the move: neither works on a file still open.
    UniqueFile written = std::move(file);
    if (!WriteAll(written.get(), bytes, fail_after) || !FlushFileBuffers(written.get()))
      ThrowFileError(ErrorKind::kFileCreate, "Cannot create file", path, GetLastError());
  }
  // MOVEFILE_WRITE_THROUGH returns only once the move is on the disk.
  if (!MoveFileExA(temp_name.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    ThrowFileError(ErrorKind::kFileCreate, "Cannot create file", path, GetLastError());
  guard.Commit();
}

void SetReplaceFailureForTesting(std::int64_t after_bytes) {
  g_replace_failure_after = after_bytes;
}

}  // namespace vp::platform
