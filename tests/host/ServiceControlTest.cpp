// The service-control operations against the in-memory service manager: the start and stop polls,
// the errors that count as success, the ones that are raised, and the relaunch without rights.
#include <gtest/gtest.h>

#include "base/Error.h"
#include "host/ServiceControl.h"
#include "support/FakeServiceManager.h"
#include "support/RecordingLauncher.h"
#include "support/ScriptedUserPrompt.h"

namespace vp {
namespace {

using platform::ServiceState;

class ServiceControl : public testing::Test {
 protected:
  test::FakeServiceManager manager_;
  test::ScriptedUserPrompt prompt_;
  test::RecordingLauncher launcher_;
};

TEST_F(ServiceControl, StartWaitsThroughStartPendingUntilRunning) {
  manager_.AddService(kServiceName, ServiceState::kStopped);
  manager_.SetStartPhase(3, ServiceState::kRunning);
  EXPECT_TRUE(StartProxyService());
  EXPECT_EQ(manager_.calls(),
            (std::vector<std::string>{"start", "query", "query", "query", "query"}));
  EXPECT_TRUE(IsServiceRunning());
}

TEST_F(ServiceControl, StartThatEndsStoppedAnswersFalse) {
  manager_.AddService(kServiceName, ServiceState::kStopped);
  manager_.SetStartPhase(1, ServiceState::kStopped);
  EXPECT_FALSE(StartProxyService());
  EXPECT_TRUE(IsServiceInstalled());
}

TEST_F(ServiceControl, StartOfARunningServiceAnswersTrueWithoutPolling) {
  manager_.AddService(kServiceName, ServiceState::kRunning);
  EXPECT_TRUE(StartProxyService());  // the manager answers 1056
  EXPECT_EQ(manager_.calls(), std::vector<std::string>{"start"});
}

TEST_F(ServiceControl, StartRefusalsAreRaisedWithTheSystemText) {
  manager_.AddService(kServiceName, ServiceState::kStopped);
  manager_.FailNextStart(1053);
  try {
    StartProxyService();
    FAIL() << "a refused start was not raised";
  } catch (const Error& error) {
    EXPECT_EQ(error.kind(), ErrorKind::kSystem);
    EXPECT_EQ(error.code(), 1053);
    EXPECT_STREQ(error.what(),
                 "The service did not respond to the start or control request in a timely "
                 "fashion.");
  }
}

TEST_F(ServiceControl, FailedQueryAfterStartIsFalseWhenNotActiveElseRaised) {
  manager_.AddService(kServiceName, ServiceState::kStopped);
  manager_.FailQueries(platform::kErrorServiceNotActive);
  EXPECT_FALSE(StartProxyService());

  manager_.AddService(kServiceName, ServiceState::kStopped);
  manager_.FailQueries(platform::kErrorAccessDenied);
  EXPECT_THROW(StartProxyService(), Error);
}

TEST_F(ServiceControl, StopWaitsThroughStopPendingAndAStoppedServiceCountsAsStopped) {
  manager_.AddService(kServiceName, ServiceState::kRunning);
  manager_.SetStopPhase(2);
  EXPECT_TRUE(StopProxyService());
  EXPECT_EQ(manager_.StateOf(kServiceName), ServiceState::kStopped);
  EXPECT_TRUE(StopProxyService()) << "1062 answers true";
  manager_.FailQueries(platform::kErrorAccessDenied);
  EXPECT_TRUE(StopProxyService()) << "the stop control itself answered 1062";
}

TEST_F(ServiceControl, NothingInstalledAnswersFalseEverywhere) {
  EXPECT_FALSE(IsServiceInstalled());
  EXPECT_FALSE(IsServiceRunning());
  EXPECT_FALSE(StartProxyService());
  EXPECT_FALSE(StopProxyService());
  SendServiceControl(128);
  EXPECT_TRUE(manager_.calls().empty());
}

TEST_F(ServiceControl, ControlCodeIsSentOnlyToARunningService) {
  manager_.AddService(kServiceName, ServiceState::kStopped);
  SendServiceControl(128);
  manager_.AddService(kServiceName, ServiceState::kRunning);
  SendServiceControl(128);
  EXPECT_EQ(manager_.calls(), (std::vector<std::string>{"query", "query", "control 128"}));
}

TEST_F(ServiceControl, WithoutRightsStartAndStopRelaunchElevatedAndAnswerFalse) {
  manager_.AddService(kServiceName, ServiceState::kStopped);
  manager_.SetRights(false);
  prompt_.QueueAnswers({platform::Answer::kYes, platform::Answer::kYes});
  launcher_.OnLaunch([this](const test::Launch&) {
    manager_.AddService(kServiceName, ServiceState::kRunning);  // what the copy achieved
  });
  EXPECT_FALSE(StartProxyService());
  EXPECT_FALSE(StopProxyService());
  ASSERT_EQ(launcher_.launches().size(), 2u);
  EXPECT_EQ(launcher_.launches()[0].verb, platform::LaunchVerb::kRunAs);
  EXPECT_EQ(launcher_.launches()[0].parameters, "/start");
  EXPECT_EQ(launcher_.launches()[1].parameters, "/stop");
  EXPECT_TRUE(IsServiceRunning()) << "the caller reads the real state afterwards";
}

TEST_F(ServiceControl, InstallAndUninstallRelaunchWithOpenOnlyWithRights) {
  prompt_.QueueAnswers({platform::Answer::kYes, platform::Answer::kYes});
  InstallProxyService();
  manager_.SetRights(false);
  UninstallProxyService();
  ASSERT_EQ(launcher_.launches().size(), 2u);
  EXPECT_EQ(launcher_.launches()[0].verb, platform::LaunchVerb::kOpen);
  EXPECT_EQ(launcher_.launches()[0].parameters, "/install");
  EXPECT_EQ(launcher_.launches()[1].verb, platform::LaunchVerb::kRunAs);
  EXPECT_EQ(launcher_.launches()[1].parameters, "/uninstall");
}

}  // namespace
}  // namespace vp
