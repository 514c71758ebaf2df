// The tray application's main window: whether the proxy serves (LED and tray icon), and the menus
// that start and stop it, install and remove the service, edit the hosts-file lines, install the
// root certificate, and open the settings dialog and the help window.
//
// Two regimes, chosen at creation and changed only by the service items: with no service
// installed the window owns a proxy server of its own; with the service installed it holds only
// a settings object, and start and stop go to the service.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/MainThread.h"
#include "proxy/FailureStreak.h"
#include "proxy/ForwardLog.h"
#include "proxy/ProxyServer.h"
#include "ui/HostActions.h"
#include "ui/MainWindow.h"

namespace vp {

class TDNSCallerLink;
class THelpForm;
class TProxySettings;

class TMainForm : public platform::MainWindowEvents {
 public:
  using WindowFactory =
      std::function<std::unique_ptr<platform::MainWindow>(platform::MainWindowEvents&)>;

  // Makes the window through make_window and runs FormCreate. A proxy that cannot start (its
  // port taken) leaves the window up with its proxy stopped, after the error box. proxy_port is
  // the own proxy's port (tests pick their own).
  TMainForm(HostActions& host, const WindowFactory& make_window,
            std::uint16_t proxy_port = kProxyPort);
  // FormDestroy: the own proxy's settings are saved, with the current Active.
  ~TMainForm() override;
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  platform::MainWindow& Window() { return *window_; }
  // The settings the window shows and edits: the own proxy's, or its own in the service regime.
  TProxySettings& Settings() { return *settings_; }
  // The own proxy; null in the service regime.
  TProxyServer* OwnProxy() { return server_.get(); }

  // The window's events; each handler's error goes to the error box.
  void MenuClicked(platform::MenuItem item) override;
  void MenuOpening(platform::Menu menu) override;
  void TrayClicked(platform::MouseButton button) override;
  void PostedMessageArrived(platform::PostedMessage message) override;
  bool MinimizeAsked() override;
  void Closing() override;
  void SessionEnding() override;
  void WebAddressClicked() override;

 private:
  void FormCreate();
  void FormDestroy();
  std::unique_ptr<TProxyServer> CreateOwnProxy();
  void UseOwnProxy(std::unique_ptr<TProxyServer> server);
  void UseOwnSettings(std::unique_ptr<TProxySettings> settings);
  // "Active": the own proxy listens, or the service runs.
  bool IsActive();

  void UpdateTrayIcon(platform::TrayCommand command);
  void ShowTrayBalloon(const std::string& text, unsigned icon = platform::kTrayInfoIconInformation);
  void UpdateStatusDisplay();
  // The last forward's line, and a balloon when forwards start failing or work again: the own
  // proxy's log, or in the service regime the log file the service writes.
  void RefreshLastForward();
  void SetServerActive(bool active);
  void ShowStartFailure(const std::exception& error);
  void ReportStartFailure(const std::exception& error);
  void ReturnToOwnProxy(bool active);
  void EditSettings();
  bool OfferCertificates();
  void CheckHostsForMode();
  void InstallRootCertificate();
  // "Provjeri vezu": the check runs on a thread of its own, its report comes in a notice.
  void mnCheckConnectionClick();
  void CheckConnectionDone(const std::string& report, bool works);

  void WmUserShow();
  void WmUserTray();
  void TrayMessage(platform::MouseButton button);
  void trayMenuPopup();
  bool WmSysCommand();
  void FormClose();
  void wwwClick();
  void mnServerClick();
  void mnHostsFileClick();
  void mnStartServerClick();
  void mnStopServerClick();
  void mnInstallServiceClick();
  void mnUninstallServiceClick();
  void mnHostsTestClick();
  void mnHostsProdClick();
  void mnHelpClick();

  HostActions& host_;
  std::uint16_t proxy_port_;
  std::unique_ptr<platform::MainWindow> window_;
  std::unique_ptr<THelpForm> help_form_;
  std::unique_ptr<TProxyServer> server_;
  std::unique_ptr<TProxySettings> own_settings_;  // the service regime's
  TProxySettings* settings_ = nullptr;            // server_'s or own_settings_
  platform::TrayData tray_data_;
  std::unique_ptr<ForwardLogReader> log_reader_;  // the service regime's
  FailureStreak streak_;
  bool streak_known_ = false;  // the first look only learns the state
  std::unique_ptr<platform::MainThreadTicker> ticker_;
  // Detached when the window goes, so that a check still under way reports to nobody.
  std::shared_ptr<TDNSCallerLink> check_link_;
  bool checking_ = false;  // main thread only
};

}  // namespace vp
