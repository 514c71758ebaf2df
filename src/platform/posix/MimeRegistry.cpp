// /etc/mime.types stands for the Windows registry's registered file types.
#include "platform/MimeRegistry.h"

#include <cctype>
#include <fstream>
#include <mutex>
#include <sstream>

namespace vp::platform {
namespace {

std::mutex g_mutex;
bool g_overridden = false;
std::string g_file;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> RegisteredMimeTypes() {
  std::string file = "/etc/mime.types";
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_overridden) file = g_file;
  }
  std::vector<std::pair<std::string, std::string>> types;
  if (file.empty()) return types;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string type, extension;
    if (!(words >> type)) continue;
    while (words >> extension) types.emplace_back("." + Lower(extension), type);
  }
  return types;
}

bool SetMimeTypesFileForTesting(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_overridden = true;
  g_file = path;
  return true;
}

}  // namespace vp::platform
