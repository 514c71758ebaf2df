// Test entry: every test binary runs with the machine-wide data folder, the program's own folder
// and the trust store files pointed at a fresh temp dir, so no test can touch real machine state.
#include <gtest/gtest.h>

#include <string>

#include "platform/CertStore.h"
#include "platform/FileSystem.h"
#include "platform/MainThread.h"
#include "support/TempDir.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  vp::test::TempDir root;
  std::string appdata = root.path() + "appdata";
  vp::platform::ForceDirectories(appdata);
  vp::platform::SetCommonAppDataFolderForTesting(appdata);
  std::string program_dir = root.path() + "program";
  vp::platform::ForceDirectories(program_dir);
  vp::platform::SetProgramFilePathForTesting(program_dir + vp::platform::PathDelimiter() +
                                             "vormetra-proxy.exe");
  // No update command there: a root added without a test's own set-up is refused.
  vp::platform::SetTrustStoreFilesForTesting(
      {root.path() + "trust", root.path() + "trust.pem", root.path() + "no-update-command"});
  vp::platform::MarkCurrentThreadAsMain();
  return RUN_ALL_TESTS();
}
