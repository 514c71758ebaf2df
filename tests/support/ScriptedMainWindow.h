// A double of the main window seam for the window logic's tests. It records what the logic did
// to it, in order, and plays the user: menu clicks, menus opening, the tray icon's mouse, the
// minimise command, and settings dialogs that run a test's script while they are "modal".
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/MainWindow.h"

namespace vp::test {

class ScriptedSettingsDialog;

// What a settings dialog went through; it outlives the dialog, so a test can check that nothing
// touched it after it closed.
struct DialogLog {
  bool closed = false;
  int address_sets = 0;
  int address_sets_after_close = 0;
  platform::SettingsFields filled;  // as the logic filled it
};

class ScriptedMainWindow : public platform::MainWindow {
 public:
  // Plays the user while the dialog is modal; its result is the dialog's (true for "Potvrdi").
  using DialogScript = std::function<bool(ScriptedSettingsDialog&)>;

  explicit ScriptedMainWindow(platform::MainWindowEvents& events) : events_(events) {}

  // The user.
  void Click(platform::MenuItem item) { events_.MenuClicked(item); }
  void OpenMenu(platform::Menu menu) { events_.MenuOpening(menu); }
  void TrayClick(platform::MouseButton button) { events_.TrayClicked(button); }
  bool Minimize() { return events_.MinimizeAsked(); }
  void ClickWebAddress() { events_.WebAddressClicked(); }
  void EndSession() { events_.SessionEnding(); }
  // Hands the messages posted so far to the logic, as the message loop would.
  void DeliverPosted();
  // Each settings dialog made runs the next script; without one it is cancelled.
  void QueueDialog(DialogScript script) { dialog_scripts_.push_back(std::move(script)); }

  // What the logic did, in order: "post show", "show", "hide", "front", "close", "led on",
  // "tray add X_ICO_INACTIVE Nije aktivan", "balloon Vormetra Proxy: Nije aktivan", "popup tray",
  // "settings dialog", "help window", "help show", "open <address>".
  const std::vector<std::string>& calls() const { return calls_; }
  void ClearCalls() { calls_.clear(); }
  bool led_on() const { return led_on_; }
  bool service_label_visible() const { return service_label_visible_; }
  const std::string& version_text() const { return version_text_; }
  // Whether the notification area shows the icon now, and the record it last got.
  bool tray_icon_shown() const { return tray_icon_shown_; }
  const platform::TrayData& tray_data() const { return tray_data_; }
  // The logs of the settings dialogs made so far.
  const std::vector<std::shared_ptr<DialogLog>>& dialogs() const { return dialogs_; }

  void SetVersionText(const std::string& text) override { version_text_ = text; }
  void SetWebAddressText(const std::string& text) override { web_address_ = text; }
  void ShowLed(bool on) override;
  void SetServiceLabelVisible(bool visible) override;
  void SetLastForwardText(const std::string& text) override { last_forward_text_ = text; }
  const std::string& last_forward_text() const { return last_forward_text_; }
  void Show() override;
  void Hide() override;
  bool Visible() const override { return visible_; }
  void BringToFront() override { calls_.push_back("front"); }
  void Close() override;
  void Post(platform::PostedMessage message) override;
  void PopupTrayMenuAtCursor() override;
  void NotifyTray(platform::TrayCommand command, const platform::TrayData& data) override;
  void OpenWebAddress(const std::string& address) override;
  std::unique_ptr<platform::SettingsDialog> CreateSettingsDialog(
      platform::SettingsDialogEvents& events) override;
  std::unique_ptr<platform::HelpWindow> CreateHelpWindow(const std::string& text) override;
  void Run() override {}

  const std::string& help_text() const { return help_text_; }

 private:
  platform::MainWindowEvents& events_;
  std::vector<std::string> calls_;
  std::deque<platform::PostedMessage> posted_;
  std::deque<DialogScript> dialog_scripts_;
  std::vector<std::shared_ptr<DialogLog>> dialogs_;
  bool visible_ = false;
  bool led_on_ = false;
  bool service_label_visible_ = false;
  bool tray_icon_shown_ = false;
  platform::TrayData tray_data_;
  std::string version_text_;
  std::string web_address_;
  std::string help_text_;
  std::string last_forward_text_;
};

class ScriptedSettingsDialog : public platform::SettingsDialog {
 public:
  ScriptedSettingsDialog(platform::SettingsDialogEvents& events,
                         ScriptedMainWindow::DialogScript script, std::shared_ptr<DialogLog> log)
      : events_(events), script_(std::move(script)), log_(std::move(log)) {}

  // What the script may do while the dialog is modal.
  platform::SettingsFields& fields() { return fields_; }
  void PressFetchAddresses() { events_.FetchAddressesClicked(); }

  void SetFields(const platform::SettingsFields& fields) override;
  platform::SettingsFields Fields() const override { return fields_; }
  void SetAddressFields(const std::string& ip_test, const std::string& ip_production) override;
  bool ShowModal() override;

 private:
  platform::SettingsDialogEvents& events_;
  ScriptedMainWindow::DialogScript script_;
  std::shared_ptr<DialogLog> log_;
  platform::SettingsFields fields_;
};

}  // namespace vp::test
