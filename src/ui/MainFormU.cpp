// The main window's decisions: which regime, which item shows, which question comes, what is saved.
#include "ui/MainFormU.h"

#include <chrono>
#include <thread>
#include <utility>

#include "host/ConnectionCheck.h"
#include "http/HttpDate.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/MainThread.h"
#include "platform/UserPrompt.h"
#include "proxy/DNSThread.h"
#include "proxy/ForwardWords.h"
#include "proxy/ProxySettings.h"
#include "ui/HandlerErrors.h"
#include "ui/HelpFormU.h"
#include "ui/SettingsFormU.h"
#include "ui/StartFailure.h"
#include "ui/UiTexts.h"

namespace vp {
namespace {

using platform::Answer;
using platform::Menu;
using platform::MenuItem;
using platform::MouseButton;
using platform::PostedMessage;
using platform::TrayCommand;

constexpr unsigned kTrayIconFlags =
    platform::kTrayFlagMessage | platform::kTrayFlagIcon | platform::kTrayFlagTip;
constexpr unsigned kBalloonTimeoutMs = 300;  // the system applies its own minimum
constexpr std::chrono::seconds kRefreshInterval{1};

bool IsHttpsMode(std::int32_t mode) {
  return mode == kModeHttpsTest || mode == kModeHttpsProduction;
}

bool Confirmed(const char* question) { return platform::AskQuestion(question) == Answer::kYes; }

}  // namespace

TMainForm::TMainForm(HostActions& host, const WindowFactory& make_window, std::uint16_t proxy_port)
    : host_(host),
      proxy_port_(proxy_port),
      window_(make_window(*this)),
      check_link_(std::make_shared<TDNSCallerLink>()) {
  FormCreate();
}

TMainForm::~TMainForm() { FormDestroy(); }

void TMainForm::FormCreate() {
  window_->SetVersionText(kVersionText);
  window_->SetWebAddressText(kWebAddress);
  if (host_.IsServiceInstalled()) {
    UseOwnSettings(std::make_unique<TProxySettings>());
    window_->Post(PostedMessage::kShow);
  } else {
    UseOwnProxy(CreateOwnProxy());
    window_->Post(PostedMessage::kTray);
  }
  RunHandler([this] {
    UpdateStatusDisplay();
    CheckHostsForMode();
  });
  RunHandler([this] { RefreshLastForward(); });
  ticker_ = std::make_unique<platform::MainThreadTicker>(
      kRefreshInterval, [this] { RunHandler([this] { RefreshLastForward(); }); });
}

void TMainForm::FormDestroy() {
  ticker_.reset();
  check_link_->Detach();
  // Only the own proxy's settings are saved: in the service regime the file belongs to the
  // service, and the window's copy holds Active as it was read.
  if (server_) RunHandler([this] { host_.SaveSettings(server_->Settings()); });
  settings_ = nullptr;
  server_.reset();
  own_settings_.reset();
}

std::unique_ptr<TProxyServer> TMainForm::CreateOwnProxy() {
  try {
    return std::make_unique<TProxyServer>(proxy_port_);
  } catch (const std::exception& error) {
    // Another program holds the port, or the stored mode lacks its certificate files: the window
    // still comes up, with its proxy stopped and the stored settings to edit, and says why.
    ShowStartFailure(error);
    return std::make_unique<TProxyServer>(proxy_port_, TInitialState::kStopped);
  }
}

void TMainForm::UseOwnProxy(std::unique_ptr<TProxyServer> server) {
  settings_ = &server->Settings();
  server_ = std::move(server);
  own_settings_.reset();
}

void TMainForm::UseOwnSettings(std::unique_ptr<TProxySettings> settings) {
  settings_ = settings.get();
  own_settings_ = std::move(settings);
  server_.reset();
}

bool TMainForm::IsActive() { return server_ ? server_->IsActive() : host_.IsServiceRunning(); }

// ---- events -----------------------------------------------------------------------------------

void TMainForm::MenuClicked(MenuItem item) {
  RunHandler([this, item] {
    switch (item) {
      case MenuItem::kHelp:
        return mnHelpClick();
      case MenuItem::kSettings:
        return EditSettings();
      case MenuItem::kClose:
        return window_->Close();
      case MenuItem::kStartServer:
      case MenuItem::kTrayStart:
        return mnStartServerClick();
      case MenuItem::kStopServer:
      case MenuItem::kTrayStop:
        return mnStopServerClick();
      case MenuItem::kInstallService:
        return mnInstallServiceClick();
      case MenuItem::kUninstallService:
        return mnUninstallServiceClick();
      case MenuItem::kHostsTest:
        return mnHostsTestClick();
      case MenuItem::kHostsProd:
        return mnHostsProdClick();
      case MenuItem::kInstallCA:
        return InstallRootCertificate();
      case MenuItem::kCheckConnection:
        return mnCheckConnectionClick();
    }
  });
}

void TMainForm::MenuOpening(Menu menu) {
  RunHandler([this, menu] {
    switch (menu) {
      case Menu::kServer:
        return mnServerClick();
      case Menu::kHostsFile:
        return mnHostsFileClick();
      case Menu::kTray:
        return trayMenuPopup();
    }
  });
}

void TMainForm::TrayClicked(MouseButton button) {
  RunHandler([this, button] { TrayMessage(button); });
}

void TMainForm::PostedMessageArrived(PostedMessage message) {
  RunHandler([this, message] {
    if (message == PostedMessage::kShow) WmUserShow();
    if (message == PostedMessage::kTray) WmUserTray();
  });
}

bool TMainForm::MinimizeAsked() {
  bool handled = false;
  RunHandler([&] { handled = WmSysCommand(); });
  return handled;
}

void TMainForm::Closing() {
  RunHandler([this] { FormClose(); });
}

// The window is never closed at a logoff or shutdown, so its proxy's Active is saved here, as at
// a close; else the next logon would start "Nije aktivan".
void TMainForm::SessionEnding() {
  if (server_) RunHandler([this] { host_.SaveSettings(server_->Settings()); });
}

void TMainForm::WebAddressClicked() {
  RunHandler([this] { wwwClick(); });
}

// ---- window and tray --------------------------------------------------------------------------

void TMainForm::WmUserShow() { window_->Show(); }

void TMainForm::WmUserTray() {
  UpdateTrayIcon(TrayCommand::kAdd);
  ShowTrayBalloon(IsActive() ? kTipActive : kTipInactive);
}

void TMainForm::UpdateTrayIcon(TrayCommand command) {
  bool active = IsActive();
  tray_data_.flags = kTrayIconFlags;
  tray_data_.callback_message = platform::kTrayCallbackMessage;
  tray_data_.icon = active ? kIconActive : kIconInactive;
  tray_data_.tip = active ? kTipActive : kTipInactive;
  window_->NotifyTray(command, tray_data_);
}

void TMainForm::ShowTrayBalloon(const std::string& text, unsigned icon) {
  tray_data_.flags = platform::kTrayFlagInfo;
  tray_data_.info = text;
  tray_data_.info_title = platform::kApplicationTitle;
  tray_data_.timeout_ms = kBalloonTimeoutMs;
  tray_data_.info_flags = icon;
  window_->NotifyTray(TrayCommand::kModify, tray_data_);
}

void TMainForm::TrayMessage(MouseButton button) {
  if (button == MouseButton::kLeft) {
    UpdateTrayIcon(TrayCommand::kDelete);
    window_->Show();
  } else {
    window_->PopupTrayMenuAtCursor();
  }
}

void TMainForm::trayMenuPopup() {
  window_->SetMenuItemVisible(MenuItem::kTrayStop, IsActive());
  window_->SetMenuItemVisible(MenuItem::kTrayStart, !window_->MenuItemVisible(MenuItem::kTrayStop));
  window_->BringToFront();
}

bool TMainForm::WmSysCommand() {
  window_->Hide();
  UpdateTrayIcon(TrayCommand::kAdd);
  return true;
}

void TMainForm::FormClose() {
  if (!window_->Visible()) UpdateTrayIcon(TrayCommand::kDelete);
}

void TMainForm::wwwClick() { window_->OpenWebAddress(kWebAddress); }

void TMainForm::UpdateStatusDisplay() {
  window_->ShowLed(IsActive());
  window_->SetServiceLabelVisible(host_.IsServiceInstalled());
}

void TMainForm::RefreshLastForward() {
  ForwardLogTail tail;
  if (server_) {
    tail = {server_->Log().Last(), server_->Log().FailuresInARow()};
  } else {
    if (!log_reader_) log_reader_ = std::make_unique<ForwardLogReader>(ForwardLog::DefaultFolder());
    tail = log_reader_->Read();
  }
  std::int64_t now = UnixTimeNow();
  window_->SetLastForwardText(LastForwardLine(tail.last, now));
  StreakChange change = streak_.Observe(tail.failures_in_a_row, now);
  // A streak older than the window is on its line; a balloon is for what happens meanwhile.
  if (!std::exchange(streak_known_, true)) return;
  if (change == StreakChange::kStarted && tail.last)
    ShowTrayBalloon(ForwardsFailingText(*tail.last), platform::kTrayInfoIconWarning);
  if (change == StreakChange::kEnded) ShowTrayBalloon(kMsgForwardsWorkAgain);
}

// ---- Server menu ------------------------------------------------------------------------------

void TMainForm::mnServerClick() {
  window_->SetMenuItemVisible(MenuItem::kStopServer, IsActive());
  window_->SetMenuItemVisible(MenuItem::kStartServer,
                              !window_->MenuItemVisible(MenuItem::kStopServer));
  window_->SetMenuItemVisible(MenuItem::kInstallService, !host_.IsServiceInstalled());
  // The service is asked only when the install item is hidden; a running service can't be
  // removed from the window.
  window_->SetMenuItemVisible(
      MenuItem::kUninstallService,
      !window_->MenuItemVisible(MenuItem::kInstallService) && !host_.IsServiceRunning());
}

void TMainForm::SetServerActive(bool active) {
  try {
    if (server_) {
      server_->SetActive(active);
    } else if (active) {
      host_.StartProxyService();
    } else {
      host_.StopProxyService();
    }
  } catch (const std::exception& error) {
    if (!active) throw;
    return ReportStartFailure(error);
  }
  UpdateTrayIcon(TrayCommand::kModify);
}

// The LED, the tray and the menus first show the listener as it is, then the box says why.
void TMainForm::ReportStartFailure(const std::exception& error) {
  UpdateStatusDisplay();
  UpdateTrayIcon(TrayCommand::kModify);
  ShowStartFailure(error);
}

// What is missing and what to do.
void TMainForm::ShowStartFailure(const std::exception& error) {
  platform::ShowNotice(ExplainStartFailure(error, proxy_port_, own_settings_ != nullptr),
                       platform::NoticeIcon::kError);
}

void TMainForm::mnStartServerClick() {
  SetServerActive(true);
  UpdateStatusDisplay();
}

void TMainForm::mnStopServerClick() {
  SetServerActive(false);
  UpdateStatusDisplay();
}

void TMainForm::mnInstallServiceClick() {
  const bool was_active = server_ && server_->IsActive();
  if (server_) {
    // Stopping returns once the listener is off, so the service can take the port at once.
    server_->SetActive(false);
  }
  // Read before the own proxy goes: a settings file that cannot be read leaves the window in its
  // own regime, never without settings.
  auto settings = std::make_unique<TProxySettings>();
  UseOwnSettings(std::move(settings));
  try {
    host_.InstallProxyService();
  } catch (const std::exception&) {
    ReturnToOwnProxy(was_active);
    throw;
  }
  // Declined at the consent dialog, or failed: no service to start or stop, so the window goes
  // back to its own proxy as it was.
  if (!host_.IsServiceInstalled()) ReturnToOwnProxy(was_active);
  UpdateStatusDisplay();
}

void TMainForm::ReturnToOwnProxy(bool active) {
  if (server_) return;
  UseOwnProxy(std::make_unique<TProxyServer>(proxy_port_, TInitialState::kStopped));
  SetServerActive(active);
  UpdateStatusDisplay();
}

void TMainForm::mnUninstallServiceClick() {
  host_.UninstallProxyService();
  if (!host_.IsServiceInstalled()) {
    std::unique_ptr<TProxyServer> server = CreateOwnProxy();
    server->SetActive(false);
    UseOwnProxy(std::move(server));
  }
  UpdateStatusDisplay();
}

// ---- Settings ---------------------------------------------------------------------------------

void TMainForm::EditSettings() {
  const std::int32_t old_mode = settings_->Mode.load();
  TSettingsForm form(*window_);
  form.Fill(*settings_);
  if (!form.ShowModal()) return;
  form.CopyTo(*settings_);
  host_.SaveSettings(*settings_);
  bool new_root = OfferCertificates();
  if (server_) {
    try {
      server_->ApplySettings();
    } catch (const std::exception& error) {
      return ReportStartFailure(error);
    }
  } else {
    host_.SendServiceControl(kControlReloadSettings);
  }
  // A new set's root is new to the trust store too.
  if (IsHttpsMode(settings_->Mode.load()) && (new_root || !IsHttpsMode(old_mode)) &&
      Confirmed(kAskCertificateForMode))
    InstallRootCertificate();
  CheckHostsForMode();
}

// The HTTPS modes cannot start without their files; offered before the apply, so that the apply
// finds them. A failure is shown and the apply goes ahead, to show the listener's real state.
bool TMainForm::OfferCertificates() {
  if (!IsHttpsMode(settings_->Mode.load()) || host_.CertificateFilesPresent()) return false;
  if (!Confirmed(kAskMakeCertificates)) return false;
  try {
    return host_.MakeCertificateFiles();
  } catch (const std::exception& error) {
    ShowHandlerError(error);
    return false;
  }
}

// ---- Hosts file -------------------------------------------------------------------------------

void TMainForm::CheckHostsForMode() {
  switch (settings_->Mode.load()) {
    case kModeHttp:
      if (!host_.HasTestEntry() && !host_.HasProductionEntry()) return;
      if (!Confirmed(kAskRemoveHostsEntries)) return;
      host_.RemoveEntries();
      platform::ShowNotice(host_.HasTestEntry() || host_.HasProductionEntry() ? kMsgFailed
                                                                              : kMsgEntryRemoved);
      return;
    case kModeHttpsTest:
      if (host_.HasTestEntry() || !Confirmed(kAskAddHostsEntry)) return;
      host_.AddTestEntry();
      platform::ShowNotice(host_.HasTestEntry() ? kMsgEntryAdded : kMsgFailed);
      return;
    case kModeHttpsProduction:
      if (host_.HasProductionEntry() || !Confirmed(kAskAddHostsEntry)) return;
      host_.AddProductionEntry();
      platform::ShowNotice(host_.HasProductionEntry() ? kMsgEntryAdded : kMsgFailed);
      return;
    default:
      return;
  }
}

void TMainForm::mnHostsFileClick() {
  window_->SetMenuItemChecked(MenuItem::kHostsTest, host_.HasTestEntry());
  window_->SetMenuItemChecked(MenuItem::kHostsProd, host_.HasProductionEntry());
}

// The check marks are those set when the menu opened; the click does not toggle them.
void TMainForm::mnHostsTestClick() {
  if (window_->MenuItemChecked(MenuItem::kHostsTest)) {
    host_.RemoveEntries();
    platform::ShowNotice(host_.HasTestEntry() ? kMsgFailed : kMsgEntryRemoved);
  } else {
    host_.AddTestEntry();
    platform::ShowNotice(host_.HasTestEntry() ? kMsgEntryAdded : kMsgFailed);
  }
}

void TMainForm::mnHostsProdClick() {
  if (window_->MenuItemChecked(MenuItem::kHostsProd)) {
    host_.RemoveEntries();
    platform::ShowNotice(host_.HasProductionEntry() ? kMsgFailed : kMsgEntryRemoved);
  } else {
    host_.AddProductionEntry();
    platform::ShowNotice(host_.HasProductionEntry() ? kMsgEntryAdded : kMsgFailed);
  }
}

// ---- Certificate and help ---------------------------------------------------------------------

void TMainForm::InstallRootCertificate() {
  // The file is looked for in the current folder first. A tray program started at logon runs in
  // the system folder, though, so the copy beside the program (the one /rootcert serves) counts
  // as well.
  std::string file = kRootCertFile;
  if (!platform::FileExists(file)) file = AppFilePath(kRootCertFile);
  if (!platform::FileExists(file)) {
    platform::ShowNotice(kMsgCertificateFileMissing);
    return;
  }
  if (!Confirmed(kAskInstallCertificate)) return;
  platform::ShowNotice(host_.AddCertificateFile(file, kRootStoreName)
                           ? kMsgCertificateInstalled
                           : kMsgCertificateNotInstalled);
}

// ---- Connection check ---------------------------------------------------------------------------

void TMainForm::mnCheckConnectionClick() {
  // One at a time: its box comes when its steps are done (half a minute at most).
  if (checking_) return;
  // The settings as they stand now; the window may change them, or go, while the check runs.
  UpstreamSettings upstream = UpstreamSettingsOf(*settings_);
  const bool discovery_on = settings_->CallDNS;
  std::thread([this, upstream, discovery_on, link = check_link_] {
    try {
      ConnectionReport report = CheckConnection(upstream);
      report.discovery_on = discovery_on;
      std::string text = FormatConnectionReport(report, UnixTimeNow());
      platform::Synchronize(
          [&] { link->RunIfAttached([&] { CheckConnectionDone(text, report.Works()); }); });
    } catch (const std::exception&) {
      // Nobody is left to tell on this thread; the check's own failures are in its report.
    }
  }).detach();
  checking_ = true;
}

void TMainForm::CheckConnectionDone(const std::string& report, bool works) {
  checking_ = false;
  platform::ShowNotice(report,
                       works ? platform::NoticeIcon::kInformation : platform::NoticeIcon::kError);
}

void TMainForm::mnHelpClick() {
  if (!help_form_) help_form_ = std::make_unique<THelpForm>(*window_);
  help_form_->Show();
}

}  // namespace vp
