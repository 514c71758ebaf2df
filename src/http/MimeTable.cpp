// The listener's MIME table.
#include "http/MimeTable.h"

#include <cctype>
#include <map>
#include <mutex>

#include "base/AsciiText.h"
#include "platform/FileSystem.h"
#include "platform/MimeRegistry.h"

namespace vp {
namespace {

// The common web types. ".crt" is deliberately absent: certificates get what the system registers.
constexpr std::pair<const char*, const char*> kBuiltIn[] = {
    {".htm", "text/html"},
    {".html", "text/html"},
    {".txt", "text/plain"},
    {".xml", "text/xml"},
    {".css", "text/css"},
    {".js", "application/javascript"},
    {".json", "application/json"},
    {".png", "image/png"},
    {".gif", "image/gif"},
    {".jpg", "image/jpeg"},
    {".jpeg", "image/jpeg"},
    {".ico", "image/x-icon"},
    {".pdf", "application/pdf"},
    {".zip", "application/zip"},
    {".exe", "application/octet-stream"},
};

std::mutex g_mutex;
bool g_loaded = false;
std::map<std::string, std::string> g_table;

void LoadLocked() {
  for (const auto& [extension, type] : kBuiltIn) g_table.emplace(extension, type);
  // emplace keeps the built-in entry where the system registers the same extension.
  for (auto& [extension, type] : platform::RegisteredMimeTypes()) g_table.emplace(extension, type);
  g_loaded = true;
}

}  // namespace

std::string MimeTypeForFile(const std::string& file_name) {
  std::string name = platform::ExtractFileName(file_name);
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return "application/octet-stream";
  std::string extension = AsciiLowerCopy(name.substr(dot));
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_loaded) LoadLocked();
  auto found = g_table.find(extension);
  return found == g_table.end() ? "application/octet-stream" : found->second;
}

void ResetMimeTableForTesting() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_table.clear();
  g_loaded = false;
}

}  // namespace vp
