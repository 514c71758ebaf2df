// Fixture paths relative to the running test program.
#include "support/TestPaths.h"

#include "platform/FileSystem.h"
#include "platform/FileSystemNative.h"

namespace vp::test {

std::string TestProgramDir() { return platform::ExtractFileDir(platform::NativeProgramFilePath()); }

std::string TestCertFile(const std::string& name) {
  return TestProgramDir() + "test-certs" + platform::PathDelimiter() + name;
}

std::string TestStubLibrary() { return TestProgramDir() + VP_SSL_STUB_FILE; }

}  // namespace vp::test
