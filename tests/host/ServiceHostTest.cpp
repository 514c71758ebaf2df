// The service host with the proxy's service module against the in-memory service manager:
// install and uninstall with their messages and their undo, and a running service driven by
// control codes, its proxy listening on loopback on a port of the system's choosing.
#include <gtest/gtest.h>

#include <thread>

#include "base/Error.h"
#include "host/ServiceApplication.h"
#include "host/ServiceControl.h"
#include "host/VormetraProxyServiceU.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Socket.h"
#include "proxy/ForwardWords.h"
#include "proxy/ProxyServer.h"
#include "support/FakeServiceManager.h"
#include "support/FakeSystemctl.h"
#include "support/LoopbackHttp.h"
#include "support/ScriptedUserPrompt.h"
#include "support/TempDir.h"

namespace vp {
namespace {

using platform::ServiceState;

class ServiceHost : public testing::Test {
 protected:
  ServiceHost() : saved_appdata_(platform::CommonAppDataFolder()) {
    platform::SetCommonAppDataFolderForTesting(appdata_.path());
    platform::ForceDirectories(appdata_.File("VormetraProxy"));
  }
  ~ServiceHost() override {
    if (runner_.joinable()) {
      manager_.SendControl(platform::kControlStop);
      runner_.join();
    }
    platform::SetCommonAppDataFolderForTesting(saved_appdata_);
  }

  void WriteSettings(const std::string& json) {
    test::WriteFile(appdata_.File("VormetraProxy") + platform::PathDelimiter() + "Settings.ini",
                    json);
  }

  // Runs the host with these arguments on this thread, as the program entry would.
  int RunHost(std::vector<std::string> arguments) {
    TServiceApplication host(manager_, std::move(arguments));
    host.CreateService(std::make_unique<TVormetraProxyService>(0));
    return host.Run();
  }

  // Starts the host in service mode on a thread of its own; service_ is its module.
  void StartService(std::uint16_t port = 0) {
    auto service = std::make_unique<TVormetraProxyService>(port);
    service_ = service.get();
    host_ = std::make_unique<TServiceApplication>(manager_, std::vector<std::string>{});
    host_->CreateService(std::move(service));
    runner_ = std::thread([this] { host_->Run(); });
  }

  std::vector<ServiceState> ReportedStates() const {
    std::vector<ServiceState> states;
    for (const platform::ServiceStatus& status : manager_.reports()) states.push_back(status.state);
    return states;
  }

  test::TempDir appdata_;
  std::string saved_appdata_;
  test::FakeServiceManager manager_;
  test::ScriptedUserPrompt prompt_;
  std::unique_ptr<TServiceApplication> host_;
  TVormetraProxyService* service_ = nullptr;
  std::thread runner_;
};

TEST_F(ServiceHost, InstallRegistersDescribesStartsAndConfirms) {
  EXPECT_EQ(RunHost({"/install"}), 0);
  platform::ServiceRegistration registration = manager_.RegistrationOf(kServiceName);
  EXPECT_EQ(registration.display_name, "Vormetra Proxy Service");
  EXPECT_EQ(registration.executable_path, platform::ProgramFilePath());
  EXPECT_EQ(manager_.DescriptionOf(kServiceName), "Vormetra Proxy Service");
  EXPECT_EQ(manager_.StateOf(kServiceName), ServiceState::kRunning);
  EXPECT_EQ(manager_.EventSourceFile(kServiceName), platform::ProgramFilePath());
  EXPECT_EQ(prompt_.shown(), std::vector<std::string>{"notice: Service installed successfully"});

  EXPECT_EQ(RunHost({"-UNINSTALL", "/Silent"}), 0);
  EXPECT_FALSE(manager_.Exists(kServiceName));
  EXPECT_EQ(manager_.EventSourceFile(kServiceName), "");
  EXPECT_EQ(prompt_.shown().size(), 1u) << "silent";
}

TEST_F(ServiceHost, InstallOverAnExistingServiceShowsTheSystemText) {
  manager_.AddService(kServiceName, ServiceState::kStopped);
  EXPECT_EQ(RunHost({"/install", "/silent"}), 1) << "a caller must be able to tell";
  EXPECT_EQ(prompt_.errors(),
            std::vector<std::string>{"Service \"Vormetra Proxy Service\" failed to install with "
                                     "error: \"The specified service already exists.\""});
  EXPECT_EQ(manager_.calls(), std::vector<std::string>{"create"});
}

TEST_F(ServiceHost, RefusedStartUndoesTheInstallationButOneThatStopsOnItsOwnStays) {
  manager_.FailNextStart(1053);
  EXPECT_EQ(RunHost({"/install"}), 1);
  EXPECT_FALSE(manager_.Exists(kServiceName));
  EXPECT_EQ(manager_.calls(), (std::vector<std::string>{"create", "add source", "describe", "start",
                                                        "remove source", "delete"}));
  EXPECT_EQ(manager_.EventSourceFile(kServiceName), "");
  ASSERT_EQ(prompt_.errors().size(), 1u);
  EXPECT_EQ(prompt_.errors()[0],
            "Service \"Vormetra Proxy Service\" failed to install with error: \"The service did "
            "not respond to the start or control request in a timely fashion.\"");

  manager_.SetStartPhase(1, ServiceState::kStopped);  // the port was taken, say
  RunHost({"/install"});
  EXPECT_TRUE(manager_.Exists(kServiceName));
  EXPECT_EQ(prompt_.shown().back(), "notice: Service installed successfully");
}

TEST_F(ServiceHost, UninstallOfNothingShowsTheSystemTextAndNoRightsRaise) {
  EXPECT_EQ(RunHost({"/uninstall"}), 1);
  EXPECT_EQ(prompt_.errors(),
            std::vector<std::string>{"Service \"Vormetra Proxy Service\" failed to uninstall with "
                                     "error: \"The specified service does not exist as an "
                                     "installed service.\""});
  manager_.SetRights(false);
  try {
    RunHost({"/install"});
    FAIL() << "installed without the manager's full access";
  } catch (const Error& error) {
    EXPECT_EQ(error.kind(), ErrorKind::kSystem);
    EXPECT_STREQ(error.what(), "Access is denied.");
  }
}

TEST_F(ServiceHost, RunningServiceReportsItsStatesPausesAndStops) {
  StartService();
  ASSERT_TRUE(manager_.WaitForReports(3));
  std::vector<platform::ServiceStatus> reports = manager_.reports();
  EXPECT_EQ(manager_.registered_name(), kServiceName);
  EXPECT_EQ(reports[0].controls_accepted, 0u) << "none while the start is pending";
  EXPECT_EQ(reports[1].checkpoint, 2u);
  EXPECT_EQ(reports[2].state, ServiceState::kRunning);
  EXPECT_EQ(reports[2].controls_accepted, 7u) << "stop, pause and continue, shutdown";
  EXPECT_EQ(reports[2].wait_hint_ms, 5000u);
  EXPECT_EQ(manager_.events(), std::vector<std::string>{"information: Service started"});
  EXPECT_EQ(manager_.event_sources(), std::vector<std::string>{"VormetraProxyService"});

  manager_.SendControl(platform::kControlPause);
  ASSERT_TRUE(manager_.WaitForReports(5));
  EXPECT_EQ(
      test::Exchange(service_->Server()->ListeningPortForTesting(), "GET /x HTTP/1.0\r\n\r\n").body,
      "Neispravan zahtjev")
      << "a paused service still serves";
  manager_.SendControl(platform::kControlContinue);
  manager_.SendControl(platform::kControlInterrogate);
  manager_.SendControl(platform::kControlStop);
  runner_.join();
  EXPECT_EQ(ReportedStates(),
            (std::vector<ServiceState>{ServiceState::kStartPending, ServiceState::kStartPending,
                                       ServiceState::kRunning, ServiceState::kPausePending,
                                       ServiceState::kPaused, ServiceState::kContinuePending,
                                       ServiceState::kRunning, ServiceState::kRunning,
                                       ServiceState::kStopPending, ServiceState::kStopped}));
  EXPECT_EQ(manager_.events(),
            (std::vector<std::string>{"information: Service started", "information: Service end"}));
  EXPECT_EQ(service_->Server(), nullptr);
}

// The manager answers the caller of a stop with the state reported by then; a caller that saw
// "running" there would take the stop as failed.
TEST_F(ServiceHost, AStopIsReportedPendingBeforeTheManagerAnswers) {
  StartService();
  ASSERT_TRUE(manager_.WaitForReports(3));
  manager_.SendControl(platform::kControlStop);
  std::vector<platform::ServiceStatus> reports = manager_.reports();
  ASSERT_GE(reports.size(), 4u);
  EXPECT_EQ(reports[3].state, ServiceState::kStopPending);
  runner_.join();
  EXPECT_EQ(ReportedStates(),
            (std::vector<ServiceState>{ServiceState::kStartPending, ServiceState::kStartPending,
                                       ServiceState::kRunning, ServiceState::kStopPending,
                                       ServiceState::kStopped}));
}

TEST_F(ServiceHost, ReloadKeepsServingAndAFailedReloadStopsTheService) {
  WriteSettings("{\"Active\":false,\"Mode\":1}");
  StartService();
  ASSERT_TRUE(manager_.WaitForReports(3));
  EXPECT_TRUE(service_->Server()->IsActive()) << "the service switches the proxy on";
  for (std::uint32_t code : {129u, 200u, 255u}) manager_.SendControl(code);
  manager_.SendControl(ControlReloadSettings);
  ASSERT_TRUE(manager_.WaitForReports(4));
  EXPECT_EQ(manager_.reports().size(), 4u) << "129 to 255 report nothing";
  EXPECT_EQ(manager_.reports()[3].state, ServiceState::kRunning);
  EXPECT_TRUE(service_->Server()->IsActive()) << "the file's Active false is the tray's own";
  EXPECT_EQ(manager_.events(), (std::vector<std::string>{"information: Service started",
                                                         "information: Settings reloaded"}));

  // A reload that cannot start the listener would leave a running service that serves nothing.
  WriteSettings("{\"Active\":true,\"Mode\":2}");
  manager_.SendControl(ControlReloadSettings);
  runner_.join();
  EXPECT_EQ(manager_.events().at(2).rfind("error: Service failed in custom message(128): "
                                          "Could not load",
                                          0),
            0u)
      << manager_.events().at(2);
  EXPECT_EQ(manager_.events().back(), "information: Service end");
  EXPECT_EQ(ReportedStates().back(), ServiceState::kStopped);
}

TEST_F(ServiceHost, AStreakOfFailedForwardsIsLoggedWhenItStartsAndEnds) {
  WriteSettings("{\"Active\":true,\"Mode\":1}");
  StartService();
  ASSERT_TRUE(manager_.WaitForReports(3));
  ForwardLog& log = service_->Server()->Log();
  ForwardRecord refused;
  refused.outcome = ForwardOutcome::kConnectRefused;
  refused.time = 1000;
  for (int i = 0; i < 5; ++i) log.Add(refused);
  ForwardRecord success;
  success.time = refused.time = 2000;
  log.Add(success);
  std::vector<std::string> events = manager_.events();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[1], "error: " + platform::AnsiFromUtf8(ForwardsFailingText(refused)));
  EXPECT_EQ(events[2], "information: " + platform::AnsiFromUtf8(kMsgForwardsWorkAgain));
  for (int i = 0; i < 3; ++i) log.Add(refused);
  EXPECT_EQ(manager_.events().size(), 3u) << "not again within ten minutes";
}

TEST_F(ServiceHost, StartFailureIsLoggedAndTheServiceStops) {
  platform::Socket other = platform::Socket::OpenTcp(platform::IpFamily::kV4);
  other.Bind("", 0);
  other.Listen(1);
  WriteSettings("{\"Active\":false}");
  StartService(other.LocalPort());
  runner_.join();
  EXPECT_EQ(ReportedStates(),
            (std::vector<ServiceState>{ServiceState::kStartPending, ServiceState::kStartPending,
                                       ServiceState::kStopped}));
  EXPECT_EQ(manager_.events(),
            std::vector<std::string>{"error: Service failed on start: Could not bind socket. "
                                     "Address and port are already in use."});
  EXPECT_EQ(service_->Server(), nullptr);
}

TEST_F(ServiceHost, FailedDispatcherIsLoggedUnderTheProgramsName) {
  manager_.FailDispatcher(platform::kErrorFailedServiceControllerConnect);
  RunHost({});
  EXPECT_EQ(manager_.events(),
            std::vector<std::string>{
                "error: The service process could not connect to the service controller."});
  EXPECT_EQ(manager_.event_sources(),
            std::vector<std::string>{platform::ExtractFileName(platform::ProgramFilePath())});
}

// The same install, stop and uninstall through the systemd half, with systemctl faked.
TEST(ServiceHostOnSystemd, InstallStartsTheUnitAndUninstallRemovesIt) {
  if (platform::PathDelimiter() != '/') GTEST_SKIP() << "systemd is the POSIX half's";
  test::FakeSystemctl systemctl;
  test::ScriptedUserPrompt prompt;
  TServiceApplication installer(platform::CurrentServiceManager(), {"/install"});
  installer.CreateService(std::make_unique<TVormetraProxyService>(0));
  installer.Run();
  EXPECT_EQ(prompt.shown(), std::vector<std::string>{"notice: Service installed successfully"});
  EXPECT_TRUE(IsServiceRunning()) << "started, polled through activating";
  EXPECT_TRUE(StopProxyService());
  EXPECT_TRUE(IsServiceInstalled());

  TServiceApplication remover(platform::CurrentServiceManager(), {"/uninstall"});
  remover.CreateService(std::make_unique<TVormetraProxyService>(0));
  remover.Run();
  EXPECT_EQ(prompt.shown().back(), "notice: Service uninstalled successfully");
  EXPECT_FALSE(IsServiceInstalled());
  std::vector<std::string> calls = systemctl.calls();
  EXPECT_EQ(calls.back(), "reset-failed VormetraProxyService.service");
}

}  // namespace
}  // namespace vp
