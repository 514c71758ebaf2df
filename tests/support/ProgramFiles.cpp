// Certificate files beside the program for one test.
#include "support/ProgramFiles.h"

#include <filesystem>

#include "proxy/ProxyServer.h"
#include "support/TlsTestPeers.h"

namespace vp::test {

FilesBesideProgram::FilesBesideProgram(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    std::string target = AppFilePath(name);
    std::filesystem::copy_file(TestCertFile(name), target,
                               std::filesystem::copy_options::overwrite_existing);
    copied_.push_back(target);
  }
}

FilesBesideProgram::~FilesBesideProgram() {
  std::error_code ignored;
  for (const std::string& path : copied_) std::filesystem::remove(path, ignored);
}

}  // namespace vp::test
