// Temp folders with std::filesystem, which is portable to both platforms.
#include "support/TempDir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace vp::test {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::random_device random;
  auto base = std::filesystem::temp_directory_path();
  for (;;) {
    std::ostringstream name;
    name << "vp-test-" << random() << "-" << counter++;
    auto dir = base / name.str();
    if (std::filesystem::create_directory(dir)) {
      path_ = dir.string();
      path_ += static_cast<char>(std::filesystem::path::preferred_separator);
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace vp::test
