// Path helpers shared by both platforms; they only look at the text.

#include "platform/FileSystem.h"

namespace vp::platform {

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
