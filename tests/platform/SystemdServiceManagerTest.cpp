// The service manager's systemd half against a fake systemctl and a unit folder of the test's
// own: the unit file it writes, the Windows error numbers it answers with, and a removal that
// leaves nothing behind, also of a unit an earlier failure left half-installed.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/ServiceManager.h"
#include "support/FakeSystemctl.h"

namespace vp::platform {
namespace {

constexpr const char* kName = "VormetraProxyService";

class Systemd : public testing::Test {
 protected:
  void SetUp() override {
    if (PathDelimiter() != '/') GTEST_SKIP() << "systemd is the POSIX half's service manager";
    ServiceFailure failure;
    manager_ = CurrentServiceManager().OpenManager(ManagerAccess::kAllAccess, failure);
    ASSERT_TRUE(manager_) << failure.text;
  }

  std::unique_ptr<ServiceHandle> Create(const std::string& path, ServiceFailure& failure) {
    return manager_->Create({kName, "Vormetra Proxy Service", path}, failure);
  }

  test::FakeSystemctl systemctl_;
  std::unique_ptr<ServiceManagerHandle> manager_;
};

TEST_F(Systemd, CreateWritesAnEnabledNotifyUnitThatRunsTheProgramAlone) {
  ServiceFailure failure;
  std::unique_ptr<ServiceHandle> service = Create("/opt/my dir/100%$\"x", failure);
  ASSERT_TRUE(service) << failure.text;
  std::string unit = test::ReadFile(systemctl_.UnitFile());
  EXPECT_NE(unit.find("\nDescription=Vormetra Proxy Service\n"), std::string::npos) << unit;
  EXPECT_NE(unit.find("\nType=notify\n"), std::string::npos) << unit;
  EXPECT_NE(unit.find("\nExecStart=\"/opt/my dir/100%%$$\\\"x\"\n"), std::string::npos) << unit;
  EXPECT_NE(unit.find("\nExecReload=/bin/kill -HUP $MAINPID\n"), std::string::npos) << unit;
  EXPECT_NE(unit.find("\nWantedBy=multi-user.target\n"), std::string::npos) << unit;
  EXPECT_EQ(systemctl_.calls(),
            (std::vector<std::string>{
                "daemon-reload", "--no-ask-password enable " + std::string(kName) + ".service"}));
  EXPECT_FALSE(service->SetDescription("Opis").failed());
  EXPECT_NE(test::ReadFile(systemctl_.UnitFile()).find("\nDescription=Opis\n"), std::string::npos);

  EXPECT_FALSE(Create("/opt/x", failure));
  EXPECT_EQ(failure.code, kErrorServiceExists);
  EXPECT_EQ(failure.text, "The specified service already exists.");

  EXPECT_FALSE(service->Delete().failed());
  EXPECT_FALSE(Create("/opt/x\nExecStartPre=/bin/rm -rf /", failure));
  EXPECT_EQ(failure.code, kErrorInvalidName);
  EXPECT_FALSE(std::filesystem::exists(systemctl_.UnitFile()));
}

TEST_F(Systemd, StartStopAndReloadAnswerAsTheServiceControlManagerWould) {
  ServiceFailure failure;
  std::unique_ptr<ServiceHandle> service = Create("/opt/vp", failure);
  ASSERT_TRUE(service);
  ServiceStatus status;
  EXPECT_EQ(service->Control(kControlStop, status).code, kErrorServiceNotActive);
  EXPECT_FALSE(service->Start().failed());
  ASSERT_FALSE(service->QueryStatus(status).failed());
  EXPECT_EQ(status.state, ServiceState::kStartPending);
  EXPECT_GT(status.wait_hint_ms, 0u);
  EXPECT_EQ(service->Start().code, kErrorServiceAlreadyRunning);
  ASSERT_FALSE(service->QueryStatus(status).failed());
  EXPECT_EQ(status.state, ServiceState::kRunning);
  EXPECT_FALSE(service->Control(128, status).failed());
  EXPECT_EQ(service->Control(129, status).code, kErrorInvalidServiceControl);
  EXPECT_FALSE(service->Control(kControlStop, status).failed());
  EXPECT_EQ(systemctl_.calls().back().rfind("show", 0), 0u) << "the status after the stop";
  ASSERT_FALSE(service->QueryStatus(status).failed());
  EXPECT_EQ(status.state, ServiceState::kStopped);
  std::vector<std::string> calls = systemctl_.calls();
  std::string unit = std::string(kName) + ".service";
  for (const std::string& expected :
       {"--no-ask-password start --no-block " + unit, "--no-ask-password reload " + unit,
        "--no-ask-password stop --no-block " + unit})
    EXPECT_NE(std::find(calls.begin(), calls.end(), expected), calls.end()) << expected;

  systemctl_.Fail("show", "Failed to connect to bus: No such file or directory");
  failure = service->QueryStatus(status);
  EXPECT_EQ(failure.code, kErrorServiceSpecific);
  EXPECT_EQ(failure.text, "Failed to connect to bus: No such file or directory");
}

TEST_F(Systemd, RefusedEnableLeavesNoUnitBehind) {
  systemctl_.Fail("enable", "Failed to enable unit: Unit file is masked.");
  ServiceFailure failure;
  EXPECT_FALSE(Create("/opt/vp", failure));
  EXPECT_EQ(failure.text, "Failed to enable unit: Unit file is masked.");
  EXPECT_FALSE(std::filesystem::exists(systemctl_.UnitFile()));
  EXPECT_EQ(manager_->Open(kName, kServiceAllAccess, failure), nullptr);
  EXPECT_EQ(failure.code, kErrorServiceDoesNotExist);
}

TEST_F(Systemd, DeleteRemovesAHalfInstalledUnitAndItsLinkEvenWhenDisableFails) {
  std::string wants = systemctl_.UnitFolder() + "/multi-user.target.wants";
  ForceDirectories(wants);
  test::WriteFile(systemctl_.UnitFile(), "garbage \x01\xFF");
  std::filesystem::create_symlink(systemctl_.UnitFile(), wants + "/" + kName + ".service");
  systemctl_.Fail("disable", "Failed to disable unit: Bad message");
  ServiceFailure failure;
  std::unique_ptr<ServiceHandle> service = manager_->Open(kName, kServiceAllAccess, failure);
  ASSERT_TRUE(service);
  EXPECT_FALSE(service->Delete().failed());
  EXPECT_FALSE(std::filesystem::exists(systemctl_.UnitFile()));
  EXPECT_FALSE(std::filesystem::is_symlink(wants + "/" + kName + ".service"));
  EXPECT_EQ(service->Delete().code, kErrorServiceDoesNotExist);
}

// A package's unit is the service: /install enables it and /uninstall disables it, and the
// package's file stays as dpkg left it.
TEST_F(Systemd, APackagesUnitIsEnabledAndDisabledInsteadOfASecondOne) {
  const std::string text = "[Unit]\nDescription=Vormetra Proxy Service\n";
  test::WriteFile(systemctl_.PackageUnitFile(), text);
  ServiceFailure failure;
  EXPECT_EQ(manager_->Open(kName, kServiceQueryStatus, failure), nullptr) << "not enabled yet";
  std::unique_ptr<ServiceHandle> service = Create("/opt/vp", failure);
  ASSERT_TRUE(service) << failure.text;
  EXPECT_FALSE(std::filesystem::exists(systemctl_.UnitFile()));
  EXPECT_FALSE(service->SetDescription("Opis").failed());
  EXPECT_TRUE(manager_->Open(kName, kServiceQueryStatus, failure));
  EXPECT_EQ(Create("/opt/vp", failure), nullptr);
  EXPECT_EQ(failure.code, kErrorServiceExists);

  EXPECT_FALSE(service->Delete().failed());
  EXPECT_EQ(test::ReadFile(systemctl_.PackageUnitFile()), text);
  EXPECT_EQ(manager_->Open(kName, kServiceQueryStatus, failure), nullptr);
  EXPECT_EQ(service->Delete().code, kErrorServiceDoesNotExist);
  std::string unit = std::string(kName) + ".service";
  EXPECT_EQ(
      systemctl_.calls(),
      (std::vector<std::string>{
          "daemon-reload", "--no-ask-password enable " + unit, "--no-ask-password stop " + unit,
          "--no-ask-password disable " + unit, "daemon-reload", "reset-failed " + unit}));
}

// What a whole program run under test is pointed with; a test's own override still comes first.
TEST_F(Systemd, EnvironmentNamesTheUnitFolderAndSystemctlForAWholeProgramRun) {
  ServiceFailure failure;
  ASSERT_TRUE(Create("/opt/vp", failure));
  test::FakeSystemctl other;  // in force now, with an empty unit folder
  EXPECT_EQ(manager_->Open(kName, kServiceQueryStatus, failure), nullptr);
  SetSystemdForTesting("", "");
  SetEnvironmentVariableForTesting("VORMETRA_SYSTEMD_UNIT_DIR", systemctl_.UnitFolder());
  SetEnvironmentVariableForTesting("VORMETRA_SYSTEMCTL", systemctl_.UnitFolder() + "/../systemctl");
  std::unique_ptr<ServiceHandle> service = manager_->Open(kName, kServiceQueryStatus, failure);
  ServiceStatus status;
  bool queried = service && !service->QueryStatus(status).failed();
  SetEnvironmentVariableForTesting("VORMETRA_SYSTEMD_UNIT_DIR", "");
  SetEnvironmentVariableForTesting("VORMETRA_SYSTEMCTL", "");
  EXPECT_TRUE(queried);
  EXPECT_EQ(systemctl_.calls().back(),
            "show --property=LoadState,ActiveState " + std::string(kName) + ".service");
}

}  // namespace
}  // namespace vp::platform
