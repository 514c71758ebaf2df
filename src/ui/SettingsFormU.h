// The settings dialog "Opcjie": filled from a settings object, shown modally, read back on
// "Potvrdi". Its one action of its own fetches the upstream addresses at once through discovery.
#pragma once

#include <memory>

#include "ui/MainWindow.h"
#include "ui/SettingsDialog.h"

namespace vp {

class TDNSCallerLink;
class TDNSThread;
class TProxySettings;

class TSettingsForm : private platform::SettingsDialogEvents {
 public:
  // Makes the dialog through the main window (its owner is the application, not the window).
  explicit TSettingsForm(platform::MainWindow& main_window);
  // A discovery still running never reaches the freed dialog.
  ~TSettingsForm() override;
  TSettingsForm(const TSettingsForm&) = delete;
  TSettingsForm& operator=(const TSettingsForm&) = delete;

  // Every field but Active; a mode outside the list selects no item.
  void Fill(const TProxySettings& settings);
  // True when closed with "Potvrdi". From here on no discovery started in it touches it.
  bool ShowModal();
  // The texts as typed, CallDNS from the check box, Mode from the list (-1 with no selection).
  void CopyTo(TProxySettings& settings) const;

  // "Dobavi IP adrese sada": discovery for the URLs as they stand in the fields, not yet saved.
  void btnDNSClick();
  // On the main thread once discovery has both addresses.
  void DNSThreadDone(TDNSThread& sender);

 private:
  void FetchAddressesClicked() override;

  std::unique_ptr<platform::SettingsDialog> dialog_;
  std::shared_ptr<TDNSCallerLink> dns_link_;
};

}  // namespace vp
