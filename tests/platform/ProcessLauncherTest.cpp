// The POSIX launcher for real, on scripts of the test's own: "open" runs the copy directly and
// waits for it, "run as" goes through pkexec or else sudo (fakes on PATH that only record), and
// the process list finds this process. Nothing is ever elevated.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/ProcessLauncher.h"
#include "platform/ProcessList.h"
#include "support/TempDir.h"

namespace vp::platform {
namespace {

// Sets a variable for one test and puts the old value back.
class ScopedVariable {
 public:
  ScopedVariable(std::string name, const std::string& value) : name_(std::move(name)) {
    const char* old = std::getenv(name_.c_str());
    old_ = old != nullptr ? old : "";
    SetEnvironmentVariableForTesting(name_, value);
  }
  ~ScopedVariable() { SetEnvironmentVariableForTesting(name_, old_); }

 private:
  std::string name_;
  std::string old_;
};

class Launcher : public testing::Test {
 protected:
  void SetUp() override {
    if (PathDelimiter() != '/') GTEST_SKIP() << "the shell scripts are the POSIX half's";
  }

  std::string Script(const std::string& name, const std::string& body) {
    std::string path = dir_.File(name);
    test::WriteFile(path, "#!/bin/sh\n" + body);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
  }

  test::TempDir dir_;
};

TEST_F(Launcher, OpenRunsTheCopyDirectlyAndWaitsForIt) {
  std::string copy = Script("copy", "sleep 0.2\necho \"$@\" > " + dir_.File("ran") + "\n");
  EXPECT_TRUE(NativeProcessLauncher().RunAndWait(LaunchVerb::kOpen, copy, {"/hosttest"}));
  EXPECT_EQ(test::ReadFile(dir_.File("ran")), "/hosttest\n");
  EXPECT_FALSE(NativeProcessLauncher().RunAndWait(LaunchVerb::kOpen, dir_.File("none"), {"/x"}));
}

TEST_F(Launcher, RunAsTakesPkexecElseSudoAndPassesTheSharedFiles) {
  std::string log = dir_.File("log");
  std::string copy = Script("copy", "exit 3\n");
  ScopedVariable hosts("VORMETRA_HOSTS_FILE", "/x/hosts");
  ScopedVariable appdata("VORMETRA_COMMON_APPDATA", "");
  ScopedVariable path("PATH", dir_.path() + ":/usr/bin:/bin");

  Script("pkexec", "echo \"pkexec $*\" >> " + log + "\nexec \"$@\"\n");
  Script("sudo", "echo \"sudo $*\" >> " + log + "\nexec \"$@\"\n");
  EXPECT_TRUE(NativeProcessLauncher().RunAndWait(LaunchVerb::kRunAs, copy, {"/hostremove"}));
  std::filesystem::remove(dir_.File("pkexec"));
  EXPECT_TRUE(NativeProcessLauncher().RunAndWait(LaunchVerb::kRunAs, copy, {"/stop"}));
  std::string tail = " VORMETRA_HOSTS_FILE=/x/hosts " + copy;
  std::string env = std::filesystem::exists("/usr/bin/env") ? "/usr/bin/env" : "/bin/env";
  EXPECT_EQ(test::ReadFile(log),
            "pkexec " + env + tail + " /hostremove\nsudo " + env + tail + " /stop\n");

  std::filesystem::remove(dir_.File("sudo"));
  ScopedVariable bare_path("PATH", dir_.path());
  EXPECT_FALSE(NativeProcessLauncher().RunAndWait(LaunchVerb::kRunAs, copy, {"/stop"}));
}

TEST_F(Launcher, ProcessListHoldsThisProcessAndSystemdNeedsAnInvocationId) {
  std::uint32_t self = CurrentProcessId();
  bool found = false;
  for (const ProcessEntry& entry : ProcessSnapshot())
    if (entry.id == self) found = !entry.exe_file.empty() && entry.parent_id != 0;
  EXPECT_TRUE(found);
  {
    ScopedVariable none("INVOCATION_ID", "");
    EXPECT_FALSE(ServiceManagerAncestryRule().possible);
  }
  ScopedVariable invocation("INVOCATION_ID", "0123456789abcdef");
  ServiceManagerAncestry rule = ServiceManagerAncestryRule();
  EXPECT_TRUE(rule.possible);
  EXPECT_EQ(rule.parent, "systemd");
  EXPECT_TRUE(rule.grandparents.empty());
}

}  // namespace
}  // namespace vp::platform
