#include "support/ScriptedMainWindow.h"

namespace vp::test {
namespace {

using platform::TrayCommand;

class CountingHelpWindow : public platform::HelpWindow {
 public:
  explicit CountingHelpWindow(std::vector<std::string>& calls) : calls_(calls) {}
  void Show() override { calls_.push_back("help show"); }

 private:
  std::vector<std::string>& calls_;
};

const char* CommandName(TrayCommand command) {
  switch (command) {
    case TrayCommand::kAdd:
      return "add";
    case TrayCommand::kModify:
      return "modify";
    case TrayCommand::kDelete:
      return "delete";
  }
  return "?";
}

}  // namespace

void ScriptedMainWindow::DeliverPosted() {
  while (!posted_.empty()) {
    platform::PostedMessage message = posted_.front();
    posted_.pop_front();
    events_.PostedMessageArrived(message);
  }
}

void ScriptedMainWindow::ShowLed(bool on) {
  led_on_ = on;
  calls_.push_back(on ? "led on" : "led off");
}

void ScriptedMainWindow::SetServiceLabelVisible(bool visible) { service_label_visible_ = visible; }

void ScriptedMainWindow::Show() {
  visible_ = true;
  calls_.push_back("show");
}

void ScriptedMainWindow::Hide() {
  visible_ = false;
  calls_.push_back("hide");
}

void ScriptedMainWindow::Close() {
  calls_.push_back("close");
  events_.Closing();
}

void ScriptedMainWindow::Post(platform::PostedMessage message) {
  posted_.push_back(message);
  calls_.push_back(message == platform::PostedMessage::kShow ? "post show" : "post tray");
}

void ScriptedMainWindow::PopupTrayMenuAtCursor() {
  events_.MenuOpening(platform::Menu::kTray);
  calls_.push_back("popup tray");
}

// Behaves like the shell: an icon is added once, and a modify or delete without one does nothing.
void ScriptedMainWindow::NotifyTray(TrayCommand command, const platform::TrayData& data) {
  tray_data_ = data;
  bool balloon = (data.flags & platform::kTrayFlagInfo) != 0;
  if (command == TrayCommand::kAdd && !tray_icon_shown_)
    tray_icon_shown_ = true;
  else if (command == TrayCommand::kDelete)
    tray_icon_shown_ = false;
  if (balloon)
    calls_.push_back("balloon " + data.info_title + ": " + data.info);
  else
    calls_.push_back(std::string("tray ") + CommandName(command) + " " + data.icon + " " +
                     data.tip);
}

void ScriptedMainWindow::OpenWebAddress(const std::string& address) {
  calls_.push_back("open " + address);
}

std::unique_ptr<platform::SettingsDialog> ScriptedMainWindow::CreateSettingsDialog(
    platform::SettingsDialogEvents& events) {
  calls_.push_back("settings dialog");
  DialogScript script;
  if (!dialog_scripts_.empty()) {
    script = std::move(dialog_scripts_.front());
    dialog_scripts_.pop_front();
  }
  auto log = std::make_shared<DialogLog>();
  dialogs_.push_back(log);
  return std::make_unique<ScriptedSettingsDialog>(events, std::move(script), log);
}

std::unique_ptr<platform::HelpWindow> ScriptedMainWindow::CreateHelpWindow(
    const std::string& text) {
  calls_.push_back("help window");
  help_text_ = text;
  return std::make_unique<CountingHelpWindow>(calls_);
}

void ScriptedSettingsDialog::SetFields(const platform::SettingsFields& fields) {
  fields_ = fields;
  log_->filled = fields;
}

void ScriptedSettingsDialog::SetAddressFields(const std::string& ip_test,
                                              const std::string& ip_production) {
  ++log_->address_sets;
  if (log_->closed) ++log_->address_sets_after_close;
  fields_.ip_test = ip_test;
  fields_.ip_production = ip_production;
}

bool ScriptedSettingsDialog::ShowModal() {
  bool confirmed = script_ ? script_(*this) : false;
  log_->closed = true;
  return confirmed;
}

}  // namespace vp::test
