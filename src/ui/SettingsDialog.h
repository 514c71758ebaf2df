// The modal settings dialog "Opcjie" as the window logic sees it: a set of fields to fill and read
// back, one action button of its own, and the modal run. Texts are UTF-8.
#pragma once

#include <string>

namespace vp::platform {

// The items of the mode list; the item index is the proxy mode, item 0 is empty.
inline constexpr int kModeItemCount = 4;
inline constexpr int kNoModeSelected = -1;

struct SettingsFields {
  int mode_index = kNoModeSelected;  // kNoModeSelected when no item is selected
  std::string url_test;
  std::string url_production;
  std::string ip_test;
  std::string ip_production;
  std::string dns_server;
  bool call_dns = false;
};

class SettingsDialogEvents {
 public:
  virtual ~SettingsDialogEvents() = default;
  // "Dobavi IP adrese sada" was pressed.
  virtual void FetchAddressesClicked() = 0;
};

class SettingsDialog {
 public:
  virtual ~SettingsDialog() = default;
  // A mode index outside the list selects no item.
  virtual void SetFields(const SettingsFields& fields) = 0;
  // The fields as they stand, texts as typed; after the modal run, as they stood when it ended.
  virtual SettingsFields Fields() const = 0;
  virtual void SetAddressFields(const std::string& ip_test, const std::string& ip_production) = 0;
  // Shows the dialog and waits until the user closes it, running main-thread calls meanwhile.
  // True for "Potvrdi" (Enter), false for "Odustani" (Escape) or closing the window.
  virtual bool ShowModal() = 0;
};

}  // namespace vp::platform
