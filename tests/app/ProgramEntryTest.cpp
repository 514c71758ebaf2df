// The program entry: the switch syntax, the switch table's order and the questions each row may
// ask, the service manager's ancestry, and the exit codes of task processes.
#include <gtest/gtest.h>

#include "app/ProgramEntry.h"
#include "host/CommandLine.h"
#include "host/ServiceControl.h"
#include "support/FakeServiceManager.h"
#include "support/ScriptedUserPrompt.h"

namespace vp {
namespace {

// Probes that answer as scripted and count how often they were asked.
struct ScriptedProbes {
  bool installed = false;
  bool running = false;
  bool by_manager = false;
  int asked_installed = 0;
  int asked_running = 0;
  int asked_ancestry = 0;

  RoleProbes Probes() {
    return {[this] { return ++asked_installed, installed; },
            [this] { return ++asked_running, running; },
            [this] { return ++asked_ancestry, by_manager; }};
  }
};

TEST(ProgramEntry, SwitchIsOnePrefixAndExactlyTheNameInAnyCase) {
  for (const char* yes : {"/HOSTTEST", "-hosttest", "/HostTest"})
    EXPECT_TRUE(IsSwitch(yes, "hosttest")) << yes;
  for (const char* no : {"hosttest", "--hosttest", "/hosttest=1", "/hosttestx", "/", ""})
    EXPECT_FALSE(IsSwitch(no, "hosttest")) << no;
  const std::vector<std::string> arguments{"x", "/addcert", "C:\\a b\\c.crt", "Root"};
  EXPECT_EQ(SwitchArgument(arguments, "addcert", 0), "C:\\a b\\c.crt");
  EXPECT_EQ(SwitchArgument(arguments, "addcert", 1), "Root");
  EXPECT_EQ(SwitchArgument(arguments, "addcert", 2), "");
  EXPECT_EQ(SwitchArgument(arguments, "savesettings", 0), "");
}

TEST(ProgramEntry, FirstMatchingRowDecidesWhateverTheOrderOfArguments) {
  struct Row {
    std::vector<std::string> arguments;
    bool installed, running, by_manager;
    Role role;
  };
  const Row rows[] = {
      {{"/hostprod", "/hosttest"}, false, false, false, Role::kAddTestEntry},
      {{"x", "-HostProd"}, false, false, false, Role::kAddProductionEntry},
      {{"/hostremove", "/install"}, true, false, false, Role::kRemoveEntries},
      {{"/savesettings", "/tmp/s", "/start"}, false, false, false, Role::kSaveSettings},
      {{"/start", "/Check"}, false, false, false, Role::kCheckConnection},
      {{"-AddCert", "/tmp/c.crt", "Root"}, false, false, false, Role::kAddCertificate},
      {{"/start", "/RootRemove"}, false, false, false, Role::kRemoveRoot},
      {{"/stop", "/start"}, false, false, false, Role::kStartService},
      {{"/stop", "/uninstall"}, false, false, false, Role::kStopService},
      {{"/install"}, true, false, false, Role::kStartInstalledService},
      {{"/install"}, false, false, false, Role::kServiceHost},
      {{"/install"}, true, true, false, Role::kServiceHost},
      {{"/uninstall"}, true, false, false, Role::kServiceHost},
      {{"/uninstall"}, false, false, false, Role::kServiceHost},
      {{}, false, false, true, Role::kServiceHost},
      {{"/serve"}, false, false, true, Role::kServiceHost},
      {{"/serve"}, false, false, false, Role::kForegroundServer},
      {{"--serve"}, false, false, false, Role::kTrayApplication},
      {{}, true, true, false, Role::kTrayApplication},
  };
  for (const Row& row : rows) {
    ScriptedProbes probes{row.installed, row.running, row.by_manager};
    EXPECT_EQ(ChooseRole(row.arguments, probes.Probes()), row.role)
        << testing::PrintToString(row.arguments);
  }
}

TEST(ProgramEntry, ServiceManagerIsAskedOnlyWhereTheRowsBeforeDidNotDecide) {
  ScriptedProbes start;
  ChooseRole({"/start"}, start.Probes());
  EXPECT_EQ(start.asked_installed + start.asked_running + start.asked_ancestry, 0);

  ScriptedProbes plain;
  ChooseRole({}, plain.Probes());
  EXPECT_EQ(plain.asked_installed, 0) << "the install switch comes before the manager";
  EXPECT_EQ(plain.asked_ancestry, 1)
      << "every start that reaches the service host's row reads the process list";

  ScriptedProbes not_installed;
  ChooseRole({"/install"}, not_installed.Probes());
  EXPECT_EQ(not_installed.asked_running, 0);
  EXPECT_EQ(not_installed.asked_ancestry, 1);
}

TEST(ProgramEntry, StartedByTheServiceManagerOnlyUnderItsOwnAncestry) {
  platform::ServiceManagerAncestry windows{true, "services.exe", {"winlogon.exe", "wininit.exe"}};
  platform::ServiceManagerAncestry wine{true, "services.exe", {}};
  std::vector<platform::ProcessEntry> list = {{7, 1, "vormetra-proxy.exe"},
                                              {1, 0, "System"},
                                              {30, 20, "vormetra-proxy.exe"},
                                              {20, 10, "SERVICES.EXE"},
                                              {10, 1, "WinInit.exe"}};
  EXPECT_TRUE(IsStartedByServiceManager(list, 30, windows));
  EXPECT_FALSE(IsStartedByServiceManager(list, 7, windows)) << "parent is not services.exe";
  EXPECT_FALSE(IsStartedByServiceManager(list, 99, windows)) << "not in the list";

  list[4].exe_file = "explorer.exe";
  EXPECT_FALSE(IsStartedByServiceManager(list, 30, windows));
  list.pop_back();  // the grandparent has ended
  EXPECT_FALSE(IsStartedByServiceManager(list, 30, windows));
  EXPECT_TRUE(IsStartedByServiceManager(list, 30, wine));
  wine.possible = false;
  EXPECT_FALSE(IsStartedByServiceManager(list, 30, wine));

  list.insert(list.begin(), {30, 7, "vormetra-proxy.exe"});
  EXPECT_FALSE(IsStartedByServiceManager(list, 30, windows)) << "the first entry with the id";
  EXPECT_FALSE(IsStartedByServiceManager()) << "the test runner is no service";
}

TEST(ProgramEntry, TaskErrorsEndWithAnErrorBoxAndExitCodeOne) {
  test::FakeServiceManager manager;
  test::ScriptedUserPrompt prompt;
  EXPECT_EQ(RunProgram({"/stop"}), 0) << "nothing installed: nothing achieved, no error";
  manager.AddService(kServiceName, platform::ServiceState::kStopped);
  manager.FailNextStart(1053);
  EXPECT_EQ(RunProgram({"-START"}), 1);
  EXPECT_EQ(prompt.errors(),
            std::vector<std::string>{"The service did not respond to the start or control "
                                     "request in a timely fashion."});
  EXPECT_EQ(RunProgram({"/install"}), 0)
      << "installed and stopped: the install switch only starts it";
  EXPECT_EQ(manager.StateOf(kServiceName), platform::ServiceState::kRunning);
  EXPECT_EQ(prompt.shown().size(), 1u);
}

}  // namespace
}  // namespace vp
