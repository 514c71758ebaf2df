// The tray application's main window as the window logic sees it: its menus, the LED and the
// service label, the tray icon with its balloon, and the messages it posts to itself. Real windows
// on Windows, a terminal front end elsewhere; the logic above decides, this only shows and reports.
// Texts crossing this seam are UTF-8.
#pragma once

#include <memory>
#include <set>
#include <string>

#include "ui/HelpWindow.h"
#include "ui/SettingsDialog.h"

namespace vp::platform {

// The menu items whose state the logic sets or whose click it handles, main menu then tray menu.
enum class MenuItem {
  kHelp,
  kSettings,
  kClose,
  kStartServer,
  kStopServer,
  kInstallService,
  kUninstallService,
  kHostsTest,
  kHostsProd,
  kInstallCA,
  kTrayStart,
  kTrayStop,
  kCheckConnection,  // in the Server menu and the tray menu both
};

// The menus whose opening the logic handles.
enum class Menu { kServer, kHostsFile, kTray };

// What the window posts to itself, handled once its loop runs: show the window; put the icon in
// the tray with a balloon.
enum class PostedMessage { kShow, kTray };

// The buttons whose press on the tray icon the logic handles.
enum class MouseButton { kLeft, kRight };

// The message number the tray record names for the icon's mouse events (first user message + 1).
inline constexpr unsigned kTrayCallbackMessage = 1025;

enum class TrayCommand { kAdd, kModify, kDelete };

// The notification-area record, kept filled between calls as the shell's own record is: an icon
// update and a balloon each change only what their flags name.
inline constexpr unsigned kTrayFlagMessage = 1;
inline constexpr unsigned kTrayFlagIcon = 2;
inline constexpr unsigned kTrayFlagTip = 4;
inline constexpr unsigned kTrayFlagInfo = 16;
inline constexpr unsigned kTrayInfoIconInformation = 1;
inline constexpr unsigned kTrayInfoIconWarning = 2;

struct TrayData {
  unsigned flags = 0;
  unsigned callback_message = 0;
  std::string icon;  // resource name of the icon
  std::string tip;   // at most 127 characters are shown
  std::string info;  // balloon text, at most 255
  unsigned timeout_ms = 0;
  std::string info_title;  // at most 63
  unsigned info_flags = 0;
};

// What the window reports to the logic, always on the main thread.
class MainWindowEvents {
 public:
  virtual ~MainWindowEvents() = default;
  virtual void MenuClicked(MenuItem item) = 0;
  // Before the menu shows, so the logic can set its items.
  virtual void MenuOpening(Menu menu) = 0;
  // A button pressed on the tray icon.
  virtual void TrayClicked(MouseButton button) = 0;
  virtual void PostedMessageArrived(PostedMessage message) = 0;
  // The user asked to minimise the window. True when the logic took it over; false leaves it to
  // the window's own handling.
  virtual bool MinimizeAsked() = 0;
  // The window is about to close; the program ends after it.
  virtual void Closing() = 0;
  // The user logs off or the machine shuts down: the process ends without the window closing.
  virtual void SessionEnding() = 0;
  virtual void WebAddressClicked() = 0;
};

class MainWindow {
 public:
  virtual ~MainWindow() = default;

  virtual void SetVersionText(const std::string& text) = 0;
  virtual void SetWebAddressText(const std::string& text) = 0;
  // "LED_ON" or "LED_OFF".
  virtual void ShowLed(bool on) = 0;
  virtual void SetServiceLabelVisible(bool visible) = 0;
  // The line under the status: how the last forward went; "" shows nothing.
  virtual void SetLastForwardText(const std::string& text) = 0;

  // Every item starts visible and unchecked; a hidden item leaves its menu. A window draws its
  // menus from this state when they open.
  void SetMenuItemVisible(MenuItem item, bool visible) { Mark(hidden_, item, !visible); }
  bool MenuItemVisible(MenuItem item) const { return !hidden_.contains(item); }
  void SetMenuItemChecked(MenuItem item, bool checked) { Mark(checked_, item, checked); }
  bool MenuItemChecked(MenuItem item) const { return checked_.contains(item); }

  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual bool Visible() const = 0;
  virtual void BringToFront() = 0;
  // Closes the window (reporting Closing first); its loop ends and with it the program.
  virtual void Close() = 0;
  virtual void Post(PostedMessage message) = 0;

  // Reports MenuOpening(kTray), then shows the tray menu at the mouse cursor.
  virtual void PopupTrayMenuAtCursor() = 0;
  // Hands the record to the notification area; the outcome is not reported, so a modify or a
  // delete while no icon is shown does nothing.
  virtual void NotifyTray(TrayCommand command, const TrayData& data) = 0;
  virtual void OpenWebAddress(const std::string& address) = 0;

  // The secondary windows, owned by the caller.
  virtual std::unique_ptr<SettingsDialog> CreateSettingsDialog(SettingsDialogEvents& events) = 0;
  virtual std::unique_ptr<HelpWindow> CreateHelpWindow(const std::string& text) = 0;

  // Runs the window's loop until it closes, handing main-thread calls on meanwhile.
  virtual void Run() = 0;

 private:
  static void Mark(std::set<MenuItem>& items, MenuItem item, bool on) {
    if (on)
      items.insert(item);
    else
      items.erase(item);
  }

  std::set<MenuItem> hidden_;
  std::set<MenuItem> checked_;
};

// The system's main window, hidden until the logic shows it.
std::unique_ptr<MainWindow> CreateMainWindow(MainWindowEvents& events);

}  // namespace vp::platform
