// The status switch: its exit code follows whether something listens, and it shows the newest
// records of the forward log across both of its files.
#include <gtest/gtest.h>

#include "host/StatusReport.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Socket.h"
#include "proxy/ForwardLog.h"
#include "support/TempDir.h"

namespace vp {
namespace {

TEST(StatusReport, ExitCodeSaysWhetherSomethingListens) {
  // The service question goes to a stand-in, never to this machine's service manager (Linux).
  platform::SetEnvironmentVariableForTesting("VORMETRA_SYSTEMCTL", "/bin/false");
  platform::Socket listener = platform::Socket::OpenTcp(platform::IpFamily::kV4);
  listener.Bind("127.0.0.1", 0);
  listener.Listen(4);
  unsigned port = listener.LocalPort();
  EXPECT_EQ(RunStatus(port), 0);
  listener = platform::Socket();
  EXPECT_EQ(RunStatus(port), 1);
  platform::SetEnvironmentVariableForTesting("VORMETRA_SYSTEMCTL", "");
}

TEST(StatusReport, ShowsTheNewestRecordsOfBothLogFiles) {
  test::TempDir dir;
  test::WriteFile(dir.File(kForwardLogOldFileName), "a\r\nb\r\n");
  test::WriteFile(dir.File(kForwardLogFileName), "c\r\nd\r\n");
  EXPECT_EQ(LastForwardLines(dir.path(), 3), (std::vector<std::string>{"b", "c", "d"}));
  ProxyStatus status;
  status.records = {"c", "d"};
  std::string text = FormatStatus(status, 8449);
  EXPECT_NE(text.find("Na portu 8449 ne sluša nijedan proxy.\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Zadnja prosljeđivanja (2):\nc\nd\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace vp
