// The settings dialog's fill, read-back and address fetch. The settings keep their texts in the
// ANSI code page; the dialog shows and takes UTF-8.
#include "ui/SettingsFormU.h"

#include <string>

#include "platform/CodePage.h"
#include "platform/UserPrompt.h"
#include "proxy/DNSThread.h"
#include "proxy/ProxySettings.h"
#include "ui/HandlerErrors.h"
#include "ui/UiTexts.h"

namespace vp {
namespace {

// A field's text in the code page. Bytes that are not UTF-8 (a terminal in another encoding) are
// kept as they came rather than dropped: whatever was typed is what is stored.
std::string AnsiOfTyped(const std::string& typed) {
  if (typed.empty()) return typed;
  std::string ansi = platform::AnsiFromUtf8(typed);
  return ansi.empty() ? typed : ansi;
}

}  // namespace

TSettingsForm::TSettingsForm(platform::MainWindow& main_window)
    : dialog_(main_window.CreateSettingsDialog(*this)),
      dns_link_(std::make_shared<TDNSCallerLink>()) {}

TSettingsForm::~TSettingsForm() { dns_link_->Detach(); }

void TSettingsForm::Fill(const TProxySettings& settings) {
  platform::SettingsFields fields;
  std::int32_t mode = settings.Mode.load();
  fields.mode_index =
      mode >= 0 && mode < platform::kModeItemCount ? mode : platform::kNoModeSelected;
  fields.url_test = platform::Utf8FromAnsi(settings.URLTest.get());
  fields.url_production = platform::Utf8FromAnsi(settings.URLProduction.get());
  fields.ip_test = platform::Utf8FromAnsi(settings.IPTest.get());
  fields.ip_production = platform::Utf8FromAnsi(settings.IPProduction.get());
  fields.dns_server = platform::Utf8FromAnsi(settings.DNSServer.get());
  fields.call_dns = settings.CallDNS;
  dialog_->SetFields(fields);
}

bool TSettingsForm::ShowModal() {
  bool confirmed = dialog_->ShowModal();
  // What follows a close (saving, the questions) runs modal boxes of its own, during which a
  // discovery may complete: it must not write into a dialog the user has already left.
  dns_link_->Detach();
  return confirmed;
}

void TSettingsForm::CopyTo(TProxySettings& settings) const {
  platform::SettingsFields fields = dialog_->Fields();
  settings.URLTest = AnsiOfTyped(fields.url_test);
  settings.URLProduction = AnsiOfTyped(fields.url_production);
  settings.IPTest = AnsiOfTyped(fields.ip_test);
  settings.IPProduction = AnsiOfTyped(fields.ip_production);
  settings.DNSServer = AnsiOfTyped(fields.dns_server);
  settings.CallDNS = fields.call_dns;
  settings.Mode = fields.mode_index;
}

void TSettingsForm::btnDNSClick() {
  platform::SettingsFields fields = dialog_->Fields();
  // The resolver is the one the dialog names, as the proxy's own discovery asks the DNSServer
  // setting; a field that names no IPv4 address gives the built-in resolver.
  TDNSThread::Start(
      AnsiOfTyped(fields.url_test), AnsiOfTyped(fields.url_production),
      AnsiOfTyped(fields.dns_server), [this](TDNSThread& sender) { DNSThreadDone(sender); },
      dns_link_);
}

void TSettingsForm::DNSThreadDone(TDNSThread& sender) {
  dialog_->SetAddressFields(platform::Utf8FromAnsi(sender.TestResult()),
                            platform::Utf8FromAnsi(sender.ProductionResult()));
  platform::ShowNotice(kMsgAddressesFetched);
}

void TSettingsForm::FetchAddressesClicked() {
  RunHandler([this] { btnDNSClick(); });
}

}  // namespace vp
