// The file operations the hosts-file editor stands on: the write test with no sharing, and the
// copy that never overwrites.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/FileSystem.h"
#include "support/TempDir.h"

namespace vp::platform {
namespace {

std::size_t EntriesIn(const std::string& folder) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                std::filesystem::directory_iterator()));
}

TEST(FileSystem, ExclusiveOpenFailsForMissingHeldAndFolders) {
  test::TempDir dir;
  std::string file = dir.File("hosts");
  EXPECT_FALSE(CanOpenExclusively(file));
  test::WriteFile(file, "127.0.0.1 localhost\n");
  EXPECT_TRUE(CanOpenExclusively(file));
  {
    FileHoldForTesting hold(file);
    EXPECT_FALSE(CanOpenExclusively(file));
  }
  EXPECT_TRUE(CanOpenExclusively(file));
  EXPECT_FALSE(CanOpenExclusively(dir.path()));
  EXPECT_EQ(test::ReadFile(file), "127.0.0.1 localhost\n") << "the test changes nothing";
}

TEST(FileSystem, CopyNeverOverwritesAndLeavesNothingHalfMade) {
  test::TempDir dir;
  std::string source = dir.File("hosts");
  std::string target = dir.File("backup");
  EXPECT_FALSE(CopyFileNoOverwrite(source, target));
  EXPECT_FALSE(FileExists(target));

  test::WriteFile(source, std::string("first\0copy", 10));
  EXPECT_TRUE(CopyFileNoOverwrite(source, target));
  test::WriteFile(source, "second");
  EXPECT_FALSE(CopyFileNoOverwrite(source, target));
  EXPECT_EQ(test::ReadFile(target), std::string("first\0copy", 10));
  EXPECT_EQ(EntriesIn(dir.path()), 2u) << "no temporary file left";
}

}  // namespace
}  // namespace vp::platform
