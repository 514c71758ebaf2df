// The main window as a terminal front end for a person at the keyboard. Shown, it prints the
// state (the LED as "Aktivan" or "Nije aktivan", the service label), the version and the web
// address, and offers the main menu; hidden, it stands for the tray icon, whose left click shows
// the window and whose right click offers the tray menu. Menus open on a key, run their opening
// handler, and list their visible items with their check marks. Posted messages and main-thread
// calls run between keys, as the message loop runs them on Windows.
#include "ui/MainWindow.h"

#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/Termination.h"
#include "platform/posix/TerminalInput.h"
#include "ui/terminal/TerminalWindows.h"

namespace vp::platform {
namespace {

// One entry of a menu; a separator has no caption.
struct MenuEntry {
  MenuItem item;
  const char* caption;
};
constexpr MenuEntry kSeparator = {MenuItem::kHelp, nullptr};

struct MenuTable {
  const char* key;
  const char* caption;
  std::optional<Menu> opening;  // the menu whose opening the logic handles
  std::vector<MenuEntry> entries;
};

const std::vector<MenuTable>& MainMenu() {
  static const std::vector<MenuTable> menus = {
      {"1",
       "Program",
       std::nullopt,
       {{MenuItem::kHelp, "Pomoć"},
        kSeparator,
        {MenuItem::kSettings, "Podešavanja..."},
        kSeparator,
        {MenuItem::kClose, "Zatvori"}}},
      {"2",
       "Server",
       Menu::kServer,
       {{MenuItem::kStartServer, "Pokreni"},
        {MenuItem::kStopServer, "Zaustavi"},
        {MenuItem::kCheckConnection, "Provjeri vezu"},
        kSeparator,
        {MenuItem::kInstallService, "Instaliraj servis"},
        {MenuItem::kUninstallService, "Deinstaliraj servis"}}},
      {"3",
       "Hosts file",
       Menu::kHostsFile,
       {{MenuItem::kHostsTest, "Testni url"}, {MenuItem::kHostsProd, "Produkcijski url"}}},
      {"4", "Certifikati", std::nullopt, {{MenuItem::kInstallCA, "Instaliraj CA"}}},
  };
  return menus;
}

const MenuTable& TrayMenu() {
  static const MenuTable menu = {"",
                                 "Ikona u traci",
                                 Menu::kTray,
                                 {{MenuItem::kTrayStart, "Pokreni"},
                                  {MenuItem::kTrayStop, "Zaustavi"},
                                  {MenuItem::kCheckConnection, "Provjeri vezu"}}};
  return menu;
}

bool IsKey(const std::string& line, char key) {
  return line.size() == 1 && (line[0] == key || line[0] == key - 'a' + 'A');
}

class TerminalMainWindow : public MainWindow {
 public:
  explicit TerminalMainWindow(MainWindowEvents& events) : events_(events) {}

  void SetVersionText(const std::string& text) override { version_ = text; }
  void SetWebAddressText(const std::string& text) override { web_address_ = text; }
  void ShowLed(bool on) override { led_on_ = on; }
  void SetServiceLabelVisible(bool visible) override { service_label_ = visible; }
  void SetLastForwardText(const std::string& text) override { last_forward_ = text; }

  void Show() override { visible_ = true; }
  void Hide() override { visible_ = false; }
  bool Visible() const override { return visible_; }
  void BringToFront() override {}
  void Close() override {
    if (closed_) return;
    events_.Closing();
    closed_ = true;
  }
  void Post(PostedMessage message) override { posted_.push_back(message); }

  void PopupTrayMenuAtCursor() override {
    events_.MenuOpening(Menu::kTray);
    tray_menu_pending_ = true;
  }

  void NotifyTray(TrayCommand command, const TrayData& data) override {
    if (command == TrayCommand::kDelete) {
      tray_shown_ = false;
      return;
    }
    if (command == TrayCommand::kAdd) tray_shown_ = true;
    if (!tray_shown_) return;
    if (data.flags & kTrayFlagTip) tray_tip_ = data.tip.substr(0, kMaxTip);
    if (data.flags & kTrayFlagInfo)
      TerminalWrite("[" + data.info_title.substr(0, kMaxInfoTitle) + "] " +
                    data.info.substr(0, kMaxInfo) + "\n");
  }

  void OpenWebAddress(const std::string& address) override {
    TerminalWrite("Web adresa: " + address + "\n");
  }

  std::unique_ptr<SettingsDialog> CreateSettingsDialog(SettingsDialogEvents& events) override {
    return CreateTerminalSettingsDialog(events);
  }
  std::unique_ptr<HelpWindow> CreateHelpWindow(const std::string& text) override {
    return CreateTerminalHelpWindow(text);
  }

  void Run() override {
    InstallTerminationHandler();
    while (!closed_) {
      DeliverPosted();
      if (closed_) break;
      if (tray_menu_pending_) {
        tray_menu_pending_ = false;
        RunMenu(TrayMenu());
        continue;
      }
      // Calls that ran meanwhile (the window's own refresh among them) redraw only what changed.
      if (status_ != LineStatus::kCallsRan || Screen() != drawn_) Draw();
      std::string line;
      status_ = ReadTerminalLine(line, true);
      LineStatus status = status_;
      if (status == LineStatus::kEnd) {
        TerminalWrite("\n");
        Close();
      } else if (status == LineStatus::kLine) {
        Act(line);
      }
    }
  }

 private:
  // The shell's own limits on the tray record's texts.
  static constexpr std::size_t kMaxTip = 127;
  static constexpr std::size_t kMaxInfo = 255;
  static constexpr std::size_t kMaxInfoTitle = 63;

  void DeliverPosted() {
    while (!posted_.empty() && !closed_) {
      PostedMessage message = posted_.front();
      posted_.pop_front();
      events_.PostedMessageArrived(message);
    }
  }

  void Draw() {
    drawn_ = Screen();
    TerminalWrite(drawn_);
  }

  std::string Screen() const {
    std::string text = "\n";
    if (!visible_) {
      text += tray_shown_ ? "[ikona u traci] " + tray_tip_ + "\n" : "[prozor je skriven]\n";
      text += " l  lijevi klik na ikonu (prikaži prozor)\n";
      text += " d  desni klik na ikonu (izbornik ikone)\n";
      text += " x  zatvori program\n";
      return text + "Vormetra Proxy (traka)> ";
    }
    text += "== Vormetra Proxy ==\n";
    if (service_label_) text += "   Server radi kao servis\n";
    text += std::string("   (") + (led_on_ ? "*" : " ") + ") " +
            (led_on_ ? "Aktivan" : "Nije aktivan") + "\n";
    if (!last_forward_.empty()) text += "   " + last_forward_ + "\n";
    text += "   " + version_ + "    " + web_address_ + "\n";
    for (const MenuTable& menu : MainMenu())
      text += " " + std::string(menu.key) + "  " + menu.caption + "\n";
    text += " m  minimiziraj (u traku)\n";
    text += " w  otvori web adresu\n";
    text += " x  zatvori\n";
    return text + "Vormetra Proxy> ";
  }

  void Act(const std::string& line) {
    if (IsKey(line, 'x')) return Close();
    if (!visible_) {
      if (IsKey(line, 'l')) events_.TrayClicked(MouseButton::kLeft);
      if (IsKey(line, 'd')) events_.TrayClicked(MouseButton::kRight);
      return;
    }
    if (IsKey(line, 'm')) {
      if (!events_.MinimizeAsked()) Hide();
      return;
    }
    if (IsKey(line, 'w')) return events_.WebAddressClicked();
    for (const MenuTable& menu : MainMenu())
      if (line == menu.key) {
        if (menu.opening) events_.MenuOpening(*menu.opening);
        return RunMenu(menu);
      }
  }

  // Lists the menu's visible items and hands the chosen one's click to the logic.
  void RunMenu(const MenuTable& menu) {
    for (;;) {
      std::vector<MenuItem> shown;
      std::string text = std::string("\n") + menu.caption + ":\n";
      // A separator shows only between two visible items.
      bool separator_due = false;
      for (const MenuEntry& entry : menu.entries) {
        if (entry.caption == nullptr) {
          separator_due = !shown.empty();
          continue;
        }
        if (!MenuItemVisible(entry.item)) continue;
        if (separator_due) text += "    ----\n";
        separator_due = false;
        shown.push_back(entry.item);
        text += "  " + std::to_string(shown.size()) + "  " +
                (MenuItemChecked(entry.item) ? "[x] " : "") + entry.caption + "\n";
      }
      TerminalWrite(text + "  (Enter: zatvori izbornik)\n" + menu.caption + "> ");
      std::string line;
      LineStatus status = ReadTerminalLine(line, true);
      if (status == LineStatus::kCallsRan) continue;
      if (status == LineStatus::kEnd) return Close();
      for (std::size_t i = 0; i < shown.size(); ++i)
        if (line == std::to_string(i + 1)) return events_.MenuClicked(shown[i]);
      return;
    }
  }

  MainWindowEvents& events_;
  std::deque<PostedMessage> posted_;
  std::string version_;
  std::string web_address_;
  std::string tray_tip_;
  std::string last_forward_;
  std::string drawn_;  // the screen as last drawn
  LineStatus status_ = LineStatus::kLine;
  bool visible_ = false;
  bool led_on_ = false;
  bool service_label_ = false;
  bool tray_shown_ = false;
  bool tray_menu_pending_ = false;
  bool closed_ = false;
};

}  // namespace

void TerminalWrite(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

std::unique_ptr<MainWindow> CreateMainWindow(MainWindowEvents& events) {
  return std::make_unique<TerminalMainWindow>(events);
}

}  // namespace vp::platform
