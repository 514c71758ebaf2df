// The main window's decisions, driven through a scripted window, a scripted prompt and a double
// of the hosts file, the service and the certificate store; the own proxy is a real one on a
// loopback port and the settings file a real file in a temp dir.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/Error.h"
#include "http/HttpDate.h"
#include "platform/FileSystem.h"
#include "platform/MainThread.h"
#include "platform/Socket.h"
#include "proxy/ForwardLog.h"
#include "proxy/ProxySettings.h"
#include "support/ScriptedUserPrompt.h"
#include "support/TempDir.h"
#include "ui/HelpFormU.h"
#include "ui/MainFormFixture.h"
#include "ui/MainFormU.h"
#include "ui/UiTexts.h"

namespace vp {
namespace {

using platform::Answer;
using platform::Menu;
using platform::MenuItem;
using Strings = std::vector<std::string>;

const std::string kTakenPort = "Could not bind socket. Address and port are already in use.";

// The box of a start that found the port taken: what to do, in Croatian, then the error's text.
bool SaysPortTaken(const std::string& box, std::uint16_t port) {
  return box.rfind("Server nije pokrenut. Port " + std::to_string(port) + " već koristi", 0) == 0 &&
         box.ends_with("\n\n" + kTakenPort);
}

std::string Question(const char* text) { return std::string("question: ") + text; }
std::string Notice(const char* text) { return std::string("notice: ") + text; }

class MainFormTest : public test::MainFormFixture {
 protected:
  std::string SettingsPath() const {
    return appdata_.File("VormetraProxy") + platform::PathDelimiter() + "Settings.ini";
  }
  void WriteSettings(const std::string& json) {
    platform::ForceDirectories(appdata_.File("VormetraProxy"));
    test::WriteFile(SettingsPath(), json);
  }
  std::string StoredSettings() const { return test::ReadFile(SettingsPath()); }

  // A dialog in which the user picks a mode and confirms.
  void ConfirmDialogWithMode(int mode) {
    window().QueueDialog([mode](test::ScriptedSettingsDialog& dialog) {
      dialog.fields().mode_index = mode;
      return true;
    });
  }

  test::ScriptedUserPrompt prompt_;
};

TEST_F(MainFormTest, OwnProxyRegimeStartsHiddenWithTrayIconAndBalloon) {
  TMainForm& form = Create();
  ASSERT_NE(form.OwnProxy(), nullptr);
  EXPECT_EQ(&form.Settings(), &form.OwnProxy()->Settings());
  EXPECT_EQ(window().version_text(), "Ver. 2017.02.05");
  EXPECT_EQ(window().calls(), (Strings{"post tray", "led off"}));
  window().DeliverPosted();
  EXPECT_EQ(window().calls(),
            (Strings{"post tray", "led off", "tray add X_ICO_INACTIVE Nije aktivan",
                     "balloon Vormetra Proxy: Nije aktivan"}));
  EXPECT_FALSE(window().Visible());
  EXPECT_FALSE(window().service_label_visible());
  const platform::TrayData& tray = window().tray_data();
  EXPECT_EQ(tray.flags, 16u);
  EXPECT_EQ(tray.callback_message, 1025u);
  EXPECT_EQ(tray.timeout_ms, 300u);
  EXPECT_EQ(tray.info_flags, 1u);
  EXPECT_TRUE(prompt_.shown().empty());
}

TEST_F(MainFormTest, ServiceRegimeShowsTheWindowWithTheServiceLabel) {
  host_.service_installed = true;
  host_.service_running = true;
  TMainForm& form = Create();
  EXPECT_EQ(form.OwnProxy(), nullptr);
  window().DeliverPosted();
  EXPECT_EQ(window().calls(), (Strings{"post show", "led on", "show"}));
  EXPECT_TRUE(window().service_label_visible());
  EXPECT_FALSE(window().tray_icon_shown());
}

TEST_F(MainFormTest, TheLastForwardShowsAndAStreakOfFailuresBringsBalloons) {
  TMainForm& form = Create();
  window().DeliverPosted();
  ForwardRecord record;
  record.time = UnixTimeNow();
  record.duration_ms = 15;
  auto add_and_wait = [&](ForwardOutcome outcome, int times) {
    record.outcome = outcome;
    for (int i = 0; i < times; ++i) form.OwnProxy()->Log().Add(record);
    window().ClearCalls();
    platform::RunMainThreadCalls(5000);  // the window's next look at the log
  };
  add_and_wait(ForwardOutcome::kSuccess, 1);
  EXPECT_TRUE(window().last_forward_text().starts_with("Zadnje slanje ("))
      << window().last_forward_text();
  EXPECT_TRUE(window().last_forward_text().ends_with("): uspješno, 15 ms"));
  add_and_wait(ForwardOutcome::kConnectRefused, 3);
  EXPECT_EQ(window().calls(), Strings{"balloon Vormetra Proxy: Slanje računa ne uspijeva: "
                                      "poslužitelj porezne uprave odbija vezu."});
  EXPECT_EQ(window().tray_data().info_flags, 2u);
  add_and_wait(ForwardOutcome::kSuccess, 1);
  EXPECT_EQ(window().calls(), Strings{"balloon Vormetra Proxy: Slanje računa ponovno radi."});
}

TEST_F(MainFormTest, InTheServiceRegimeTheLastForwardComesFromTheServicesLog) {
  host_.service_installed = true;
  ForwardRecord record;
  record.time = UnixTimeNow();
  record.outcome = ForwardOutcome::kTlsFailed;
  ForwardLog(ForwardLog::DefaultFolder()).Add(record);
  Create();
  EXPECT_TRUE(window().last_forward_text().ends_with(
      "): sigurna veza (TLS) s poslužiteljem porezne uprave nije uspostavljena"));
}

TEST_F(MainFormTest, TakenPortAtStartLeavesTheWindowUpStoppedWithItsSettings) {
  WriteSettings("{\"Active\":true,\"DNSServer\":\"10.9.9.9\"}");
  platform::Socket other = platform::Socket::OpenTcp(platform::IpFamily::kV4);
  other.Bind("127.0.0.1", 0);
  other.Listen(1);
  TMainForm& form = Create(other.LocalPort());
  ASSERT_EQ(prompt_.errors().size(), 1u);
  EXPECT_TRUE(SaysPortTaken(prompt_.errors()[0], other.LocalPort())) << prompt_.errors()[0];
  ASSERT_NE(form.OwnProxy(), nullptr);
  EXPECT_FALSE(form.OwnProxy()->IsActive());
  EXPECT_EQ(form.Settings().DNSServer.get(), "10.9.9.9");
  EXPECT_TRUE(form.Settings().Active);
  EXPECT_FALSE(window().led_on());
  window().DeliverPosted();
  EXPECT_EQ(window().tray_data().info, "Nije aktivan");

  window().Click(MenuItem::kStartServer);  // still taken: said again, nothing else changes
  ASSERT_EQ(prompt_.errors().size(), 2u);
  EXPECT_TRUE(SaysPortTaken(prompt_.errors()[1], other.LocalPort())) << prompt_.errors()[1];
  EXPECT_FALSE(window().led_on());
  other.Close();
  window().Click(MenuItem::kStartServer);
  EXPECT_TRUE(form.OwnProxy()->IsActive());
  EXPECT_TRUE(window().led_on());
}

TEST_F(MainFormTest, ClosingSavesActiveInTheOwnRegimeOnly) {
  Create();
  window().Click(MenuItem::kStartServer);
  EXPECT_TRUE(window().led_on());
  EXPECT_EQ(window().tray_data().icon, "X_ICO_ACTIVE");
  window().EndSession();  // a logoff never closes the window
  EXPECT_NE(StoredSettings().find("\"Active\":true"), std::string::npos);
  form_.reset();
  EXPECT_NE(StoredSettings().find("\"Active\":true"), std::string::npos);

  const std::string stored = "{\"Active\":false,\"Mode\":2}";
  WriteSettings(stored);
  host_.service_installed = true;
  Create();
  window().Click(MenuItem::kStartServer);
  form_.reset();
  EXPECT_EQ(StoredSettings(), stored);
  EXPECT_EQ(host_.actions(), Strings{"StartProxyService"});
}

TEST_F(MainFormTest, ServerMenuShowsItemsByRegimeAndState) {
  struct Case {
    const char* description;
    bool installed, running, own_active;
    bool start, stop, install, uninstall;
  };
  for (const Case& c : {Case{"own proxy stopped", false, false, false, true, false, true, false},
                        Case{"own proxy active", false, false, true, false, true, true, false},
                        Case{"service running", true, true, false, false, true, false, false},
                        Case{"service stopped", true, false, false, true, false, false, true}}) {
    host_.service_installed = c.installed;
    host_.service_running = c.running;
    TMainForm& form = Create();
    if (c.own_active) form.OwnProxy()->SetActive(true);
    host_.ClearCalls();
    window().OpenMenu(Menu::kServer);
    EXPECT_EQ(window().MenuItemVisible(MenuItem::kStartServer), c.start) << c.description;
    EXPECT_EQ(window().MenuItemVisible(MenuItem::kStopServer), c.stop) << c.description;
    EXPECT_EQ(window().MenuItemVisible(MenuItem::kInstallService), c.install) << c.description;
    EXPECT_EQ(window().MenuItemVisible(MenuItem::kUninstallService), c.uninstall) << c.description;
    window().OpenMenu(Menu::kTray);
    EXPECT_EQ(window().MenuItemVisible(MenuItem::kTrayStart), c.start) << c.description;
    EXPECT_EQ(window().MenuItemVisible(MenuItem::kTrayStop), c.stop) << c.description;
    EXPECT_EQ(window().calls().back(), "front") << c.description;
    // The service is asked whether it runs only when the install item is hidden.
    bool asked = false;
    for (const std::string& call : host_.calls()) asked |= call == "IsServiceRunning";
    EXPECT_EQ(asked, c.installed) << c.description;
    form_.reset();
  }
}

TEST_F(MainFormTest, MinimiseGoesToTheTrayAndALeftClickComesBack) {
  Create();
  window().ClearCalls();
  EXPECT_TRUE(window().Minimize());
  EXPECT_EQ(window().calls(), (Strings{"hide", "tray add X_ICO_INACTIVE Nije aktivan"}));
  window().TrayClick(platform::MouseButton::kRight);
  window().TrayClick(platform::MouseButton::kLeft);
  EXPECT_EQ(window().calls(),
            (Strings{"hide", "tray add X_ICO_INACTIVE Nije aktivan", "front", "popup tray",
                     "tray delete X_ICO_INACTIVE Nije aktivan", "show"}));
  EXPECT_FALSE(window().tray_icon_shown());
  EXPECT_TRUE(window().Visible());

  window().ClearCalls();
  window().Click(MenuItem::kClose);  // shown: no icon to take away
  EXPECT_EQ(window().calls(), Strings{"close"});
  window().Hide();
  window().ClearCalls();
  window().Close();
  EXPECT_EQ(window().calls(), (Strings{"close", "tray delete X_ICO_INACTIVE Nije aktivan"}));
}

TEST_F(MainFormTest, ModeOneToTwoAsksForTheCertificateThenTheHostsEntry) {
  Create();
  ConfirmDialogWithMode(2);
  prompt_.QueueAnswers({Answer::kNo, Answer::kYes});
  window().Click(MenuItem::kSettings);
  EXPECT_EQ(prompt_.shown(), (Strings{Question(kAskCertificateForMode), Question(kAskAddHostsEntry),
                                      Notice(kMsgEntryAdded)}));
  EXPECT_EQ(host_.actions(), Strings{"AddTestEntry"});
  EXPECT_NE(StoredSettings().find("\"Mode\":2,"), std::string::npos);
}

TEST_F(MainFormTest, AnHttpsModeWithoutItsFilesOffersToMakeThemAndThenTheNewRoot) {
  WriteSettings("{\"Mode\":2}");
  host_.test_entry = true;
  host_.certificate_files = false;
  Create();
  ConfirmDialogWithMode(3);
  prompt_.QueueAnswers({Answer::kNo, Answer::kNo});
  window().Click(MenuItem::kSettings);
  EXPECT_EQ(prompt_.shown(),
            (Strings{Question(kAskMakeCertificates), Question(kAskAddHostsEntry)}));
  EXPECT_TRUE(host_.actions().empty());

  ConfirmDialogWithMode(3);
  prompt_.QueueAnswers({Answer::kYes, Answer::kNo, Answer::kNo});
  window().Click(MenuItem::kSettings);
  EXPECT_EQ(prompt_.shown(),
            (Strings{Question(kAskMakeCertificates), Question(kAskAddHostsEntry),
                     Question(kAskMakeCertificates), Question(kAskCertificateForMode),
                     Question(kAskAddHostsEntry)}));
  EXPECT_EQ(host_.actions(), Strings{"MakeCertificateFiles"});
}

TEST_F(MainFormTest, ModeTwoToThreeAsksOnlyForTheProductionEntry) {
  WriteSettings("{\"Mode\":2}");
  host_.test_entry = true;
  Create();
  ConfirmDialogWithMode(3);
  prompt_.QueueAnswers({Answer::kYes});
  host_.hosts_changes_work = false;  // the elevation was refused
  window().Click(MenuItem::kSettings);
  EXPECT_EQ(prompt_.shown(), (Strings{Question(kAskAddHostsEntry), Notice(kMsgFailed)}));
  EXPECT_EQ(host_.actions(), Strings{"AddProductionEntry"});
}

TEST_F(MainFormTest, ModeZeroAsksNothing) {
  WriteSettings("{\"Mode\":2}");
  host_.test_entry = true;
  Create();
  ConfirmDialogWithMode(0);
  window().Click(MenuItem::kSettings);
  EXPECT_TRUE(prompt_.shown().empty());
  EXPECT_TRUE(host_.actions().empty());
  EXPECT_NE(StoredSettings().find("\"Mode\":0,"), std::string::npos);
}

TEST_F(MainFormTest, ModeOneWithAProductionEntryOffersToRemoveBoth) {
  WriteSettings("{\"Mode\":3}");
  host_.production_entry = true;
  host_.test_entry = true;
  Create();
  ConfirmDialogWithMode(1);
  prompt_.QueueAnswers({Answer::kYes});
  window().Click(MenuItem::kSettings);
  EXPECT_EQ(prompt_.shown(), (Strings{Question(kAskRemoveHostsEntries), Notice(kMsgEntryRemoved)}));
  EXPECT_FALSE(host_.test_entry || host_.production_entry);
}

TEST_F(MainFormTest, CancelledDialogSavesAppliesAndAsksNothing) {
  const std::string stored = "{\"Mode\":1,\"Active\":true}";
  WriteSettings(stored);
  TMainForm& form = Create();
  window().QueueDialog([](test::ScriptedSettingsDialog& dialog) {
    dialog.fields().mode_index = 2;
    dialog.fields().url_test = "https://elsewhere.example/x";
    return false;
  });
  window().Click(MenuItem::kSettings);
  EXPECT_EQ(StoredSettings(), stored);
  EXPECT_EQ(form.Settings().Mode.load(), 1);
  EXPECT_EQ(form.Settings().URLTest.get(), kDefaultURLTest);
  EXPECT_TRUE(form.OwnProxy()->IsActive());
  EXPECT_TRUE(prompt_.shown().empty());
  EXPECT_TRUE(host_.actions().empty());
}

TEST_F(MainFormTest, DialogIsFilledFromTheSettingsAndTextsAreTakenAsTyped) {
  WriteSettings("{\"Mode\":1,\"DNSServer\":\"\\u0161uma\",\"CallDNS\":true}");
  host_.service_installed = true;
  TMainForm& form = Create();
  window().QueueDialog([](test::ScriptedSettingsDialog& dialog) {
    dialog.fields().url_test = " not a URL \xC5\xBE ";  // z caron, in Windows-1250 and -1252
    dialog.fields().ip_test = "x:y:z";
    dialog.fields().call_dns = false;
    return true;
  });
  window().Click(MenuItem::kSettings);
  const test::DialogLog& log = *window().dialogs().at(0);
  EXPECT_EQ(log.filled.mode_index, 1);
  EXPECT_EQ(log.filled.url_production, kDefaultURLProduction);
  EXPECT_EQ(log.filled.ip_production, kDefaultIPProduction);
  EXPECT_EQ(log.filled.dns_server, "\xC5\xA1uma");  // UTF-8 in the dialog
  EXPECT_TRUE(log.filled.call_dns);
  EXPECT_EQ(form.Settings().URLTest.get(), " not a URL \x9E ");  // the code page in memory
  EXPECT_EQ(form.Settings().IPTest.get(), "x:y:z");
  EXPECT_FALSE(form.Settings().CallDNS);
  EXPECT_EQ(host_.actions(), Strings{"SendServiceControl 128"});
  std::string stored = StoredSettings();
  EXPECT_NE(stored.find("\"URLTest\":\" not a URL \\u017e \""), std::string::npos) << stored;
  EXPECT_NE(stored.find("\"Active\":false"), std::string::npos) << stored;
}

TEST_F(MainFormTest, StoredModeOutsideTheListSelectsNothingAndSavesMinusOne) {
  WriteSettings("{\"Mode\":7}");
  Create();
  window().QueueDialog([](test::ScriptedSettingsDialog&) { return true; });
  window().Click(MenuItem::kSettings);
  EXPECT_EQ(window().dialogs().at(0)->filled.mode_index, -1);
  EXPECT_NE(StoredSettings().find("\"Mode\":-1,"), std::string::npos);
  EXPECT_TRUE(prompt_.shown().empty());
}

TEST_F(MainFormTest, HostsMenuChecksAndItsClicksWordTheOutcome) {
  host_.test_entry = true;
  host_.production_entry = true;  // both, as a hand edit may leave them
  WriteSettings("{\"Mode\":0}");
  Create();
  window().OpenMenu(Menu::kHostsFile);
  EXPECT_TRUE(window().MenuItemChecked(MenuItem::kHostsTest));
  EXPECT_TRUE(window().MenuItemChecked(MenuItem::kHostsProd));
  window().Click(MenuItem::kHostsTest);  // unchecking the test entry takes both away
  EXPECT_FALSE(host_.test_entry || host_.production_entry);
  EXPECT_TRUE(window().MenuItemChecked(MenuItem::kHostsTest));  // the click toggles nothing

  window().OpenMenu(Menu::kHostsFile);
  window().Click(MenuItem::kHostsProd);
  EXPECT_TRUE(host_.production_entry);
  host_.hosts_changes_work = false;
  window().Click(MenuItem::kHostsTest);
  EXPECT_EQ(prompt_.shown(),
            (Strings{Notice(kMsgEntryRemoved), Notice(kMsgEntryAdded), Notice(kMsgFailed)}));
  EXPECT_EQ(host_.actions(), (Strings{"RemoveEntries", "AddProductionEntry", "AddTestEntry"}));
}

// Runs in a current folder of its own, restored when it ends.
class InFolder {
 public:
  explicit InFolder(const std::string& folder) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~InFolder() { std::filesystem::current_path(saved_); }

 private:
  std::filesystem::path saved_;
};

TEST_F(MainFormTest, RootCertificateNeedsTheFileAndConsent) {
  test::TempDir current;
  InFolder in_current(current.path());
  Create();
  window().Click(MenuItem::kInstallCA);
  std::string beside = AppFilePath(kRootCertFile);
  test::WriteFile(beside, "DER");
  prompt_.QueueAnswers({Answer::kCancel, Answer::kYes, Answer::kYes});
  window().Click(MenuItem::kInstallCA);
  window().Click(MenuItem::kInstallCA);
  host_.certificate_accepted = false;
  window().Click(MenuItem::kInstallCA);
  EXPECT_EQ(prompt_.shown(),
            (Strings{Notice(kMsgCertificateFileMissing), Question(kAskInstallCertificate),
                     Question(kAskInstallCertificate), Notice(kMsgCertificateInstalled),
                     Question(kAskInstallCertificate), Notice(kMsgCertificateNotInstalled)}));
  EXPECT_EQ(host_.actions()[0], "AddCertificateFile " + beside + " Root");

  // The current folder's copy, by its bare name, comes first.
  test::WriteFile(current.File(kRootCertFile), "DER");
  prompt_.QueueAnswers({Answer::kYes});
  window().Click(MenuItem::kInstallCA);
  EXPECT_EQ(host_.actions().back(), "AddCertificateFile fakeFinaCA.crt Root");
  std::filesystem::remove(beside);
}

TEST_F(MainFormTest, InstallingTheServiceDropsTheOwnProxyAndUninstallingBringsItBackStopped) {
  TMainForm& form = Create();
  window().Click(MenuItem::kStartServer);
  host_.service_changes_work = false;  // the consent dialog is cancelled
  window().Click(MenuItem::kInstallService);
  ASSERT_NE(form.OwnProxy(), nullptr) << "no service: the window keeps its own proxy";
  EXPECT_TRUE(form.OwnProxy()->IsActive());
  EXPECT_FALSE(window().service_label_visible());
  EXPECT_TRUE(window().led_on());

  host_.service_changes_work = true;
  std::uint16_t port = form.OwnProxy()->ListeningPortForTesting();
  window().Click(MenuItem::kInstallService);
  EXPECT_EQ(form.OwnProxy(), nullptr);
  EXPECT_THROW(platform::Socket::ConnectTcp("127.0.0.1", port), Error);
  EXPECT_TRUE(window().service_label_visible());
  EXPECT_TRUE(window().led_on());  // the service runs now

  window().Click(MenuItem::kStopServer);
  window().Click(MenuItem::kUninstallService);
  ASSERT_NE(form.OwnProxy(), nullptr);
  EXPECT_FALSE(form.OwnProxy()->IsActive());
  EXPECT_FALSE(window().service_label_visible());
  window().Click(MenuItem::kStartServer);
  EXPECT_TRUE(form.OwnProxy()->IsActive());
  EXPECT_EQ(host_.actions(), (Strings{"InstallProxyService", "InstallProxyService",
                                      "StopProxyService", "UninstallProxyService"}));
}

TEST_F(MainFormTest, HelpWindowIsMadeOnceAndShownAgain) {
  Create();
  window().ClearCalls();
  window().Click(MenuItem::kHelp);
  window().Click(MenuItem::kHelp);
  EXPECT_EQ(window().calls(), (Strings{"help window", "help show", "help show"}));
  EXPECT_EQ(window().help_text(), HelpText());
  window().ClickWebAddress();
  EXPECT_EQ(window().calls().back(), "open www.vormetra.hr");
}

TEST_F(MainFormTest, CheckConnectionRunsAsideAndShowsItsReportInABox) {
  WriteSettings(R"({"Mode":0})");
  Create();
  window().Click(MenuItem::kCheckConnection);
  window().Click(MenuItem::kCheckConnection);  // while one runs, no second
  for (int i = 0; i < 500 && prompt_.errors().empty(); ++i) platform::RunMainThreadCalls(10);
  platform::RunMainThreadCalls(50);
  ASSERT_EQ(prompt_.errors().size(), 1u);
  EXPECT_TRUE(prompt_.errors()[0].starts_with("Provjera veze, način rada 0.\n"));
}

}  // namespace
}  // namespace vp
