// Path helpers shared by both platforms; they only look at the text.

#include <mutex>

#include "platform/FileSystem.h"
#include "platform/FileSystemNative.h"

namespace vp::platform {
namespace {

std::mutex g_override_mutex;
std::string g_program_path_override;
std::string g_appdata_override;

}  // namespace

std::string ProgramFilePath() {
  {
    std::lock_guard<std::mutex> lock(g_override_mutex);
    if (!g_program_path_override.empty()) return g_program_path_override;
  }
  return NativeProgramFilePath();
}

void SetProgramFilePathForTesting(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_override_mutex);
  g_program_path_override = path;
}

std::string CommonAppDataFolder() {
  {
    std::lock_guard<std::mutex> lock(g_override_mutex);
    if (!g_appdata_override.empty()) return g_appdata_override;
  }
  return NativeCommonAppDataFolder();
}

void SetCommonAppDataFolderForTesting(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_override_mutex);
  g_appdata_override = path;
}

std::string IncludeTrailingDelimiter(const std::string& path) {
  if (!path.empty() && (path.back() == '/' || path.back() == '\\')) return path;
  return path + PathDelimiter();
}

std::string ExtractFileName(const std::string& path) {
  std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFileDir(const std::string& path) {
  std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace vp::platform
