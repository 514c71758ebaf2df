// Files and folders as the program sees them: its own location, the machine-wide data folder, and
// whole-file reads and writes with the error texts users see.
#pragma once

#include <cstdint>
#include <string>

namespace vp::platform {

// Full path of the running program file, as the OS reports it.
std::string ProgramFilePath();
// Tests point the program's location at a temp dir; an empty path restores the real one.
void SetProgramFilePathForTesting(const std::string& path);
// Whether the files the program makes for itself (its certificates) may lie beside it. Windows:
// yes. POSIX: not for a program under /usr, which is the package manager's and read-only to
// everyone else; its files then belong under the machine-wide data folder.
bool ProgramFolderHoldsItsFiles();

// The machine-wide application-data folder (Windows: CSIDL_COMMON_APPDATA). On POSIX it is /var/lib
// unless VORMETRA_COMMON_APPDATA names another. Empty when it cannot be determined.
std::string CommonAppDataFolder();
// Tests point the machine-wide folder at a temp dir; an empty path restores the real one.
void SetCommonAppDataFolderForTesting(const std::string& path);

// '\\' on Windows, '/' elsewhere.
char PathDelimiter();
// The path with a trailing delimiter added when it has none.
std::string IncludeTrailingDelimiter(const std::string& path);
// Everything after the last delimiter ('/' or '\\').
std::string ExtractFileName(const std::string& path);
// Everything up to and including the last delimiter.
std::string ExtractFileDir(const std::string& path);

bool FileExists(const std::string& path);  // a regular file; a directory does not count
bool DirectoryExists(const std::string& path);
// Size in bytes, or -1 when the file cannot be examined.
std::int64_t FileSize(const std::string& path);
// Makes the folder and every missing parent. Returns false when it could not.
bool ForceDirectories(const std::string& path);

// Opens the existing file for reading and writing with no sharing and closes it at once: whether
// this process may change the file now. False for a missing file, for a lack of rights, and for a
// file that another program holds open (Windows) or holds an exclusive lock on (POSIX).
bool CanOpenExclusively(const std::string& path);
// Whether this process may create a file in the existing folder now. POSIX: the folder's
// permissions; Windows: a file is made there and deleted again, which is what its ACL allows.
bool CanCreateFileIn(const std::string& folder);
// Holds a file as a program without the right to change it sees it, until destroyed: it can still
// be read (and so backed up), but CanOpenExclusively answers false. Windows: open, shared for
// reading only; POSIX: under an exclusive lock.
class FileHoldForTesting {
 public:
  explicit FileHoldForTesting(const std::string& path);
  ~FileHoldForTesting();
  FileHoldForTesting(const FileHoldForTesting&) = delete;
  FileHoldForTesting& operator=(const FileHoldForTesting&) = delete;

 private:
  std::intptr_t handle_;
};
// Copies source to target unless a file already exists there. A copy that fails partway leaves no
// target behind. Returns whether the copy was made.
bool CopyFileNoOverwrite(const std::string& source, const std::string& target);

// Reads the whole file, denying others the right to write while it is open.
// Throws ErrorKind::kFileOpen: Cannot open file "<path>". <system text>
std::string ReadFileBytes(const std::string& path);
// Creates the file anew (replacing an existing one) and writes the bytes.
// Throws ErrorKind::kFileCreate: Cannot create file "<path>". <system text>
void WriteFileBytes(const std::string& path, const std::string& bytes);
// Writes the bytes to a new temporary file beside path, flushes it to the disk and renames it over
// path, so that readers and a crash see either the whole old file or the whole new one. The
// temporary file is removed when anything fails.
// Throws ErrorKind::kFileCreate: Cannot create file "<path>". <system text>
void ReplaceFileBytes(const std::string& path, const std::string& bytes);
// Adds the bytes at the end of the file, making it when it is missing; for logs, whose readers
// take what is there.
// Throws ErrorKind::kFileCreate: Cannot create file "<path>". <system text>
void AppendFileBytes(const std::string& path, const std::string& bytes);
// Moves the file to target, replacing a file there. Returns whether it moved.
bool MoveFileReplacing(const std::string& source, const std::string& target);
// The next ReplaceFileBytes writes this many bytes and then fails as a full disk would; -1 (the
// start value) turns it off again.
void SetReplaceFailureForTesting(std::int64_t after_bytes);

}  // namespace vp::platform
