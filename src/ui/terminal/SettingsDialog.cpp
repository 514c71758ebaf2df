// The settings dialog "Opcjie" as a terminal form: the same fields in the same order, each edited
// by its number, the address fetch, and "Potvrdi" or "Odustani". While it waits for a key,
// main-thread calls run (a fetch completing), and the form is shown again after them.
#include <array>
#include <string>

#include "platform/posix/TerminalInput.h"
#include "ui/terminal/TerminalWindows.h"

namespace vp::platform {
namespace {

constexpr std::array<const char*, kModeItemCount> kModeItems = {
    "",
    "Sluša na http protokolu i šalje na testni i produkcijski URL",
    "Sluša na https protokolu i šalje na testni IP",
    "Sluša na https protokolu i šalje na produkcijski IP",
};

// A text field's new value: an empty line keeps the old one, a lone "-" empties it, anything
// else is taken exactly as typed.
constexpr char kClearField[] = "-";

// The text fields in the dialog's tab order, after the mode list.
struct TextField {
  const char* key;
  const char* label;
  std::string SettingsFields::*value;
};
constexpr std::array<TextField, 5> kTextFields = {{
    {"2", "URL test", &SettingsFields::url_test},
    {"3", "URL produkcija", &SettingsFields::url_production},
    {"4", "IP test", &SettingsFields::ip_test},
    {"5", "IP produkcija", &SettingsFields::ip_production},
    {"6", "DNS server", &SettingsFields::dns_server},
}};

std::string ModeText(int index) {
  if (index < 0 || index >= kModeItemCount) return "(ništa nije izabrano)";
  return index == 0 ? "(prazno)" : kModeItems[static_cast<std::size_t>(index)];
}

class TerminalSettingsDialog : public SettingsDialog {
 public:
  explicit TerminalSettingsDialog(SettingsDialogEvents& events) : events_(events) {}

  void SetFields(const SettingsFields& fields) override { fields_ = fields; }
  SettingsFields Fields() const override { return fields_; }
  void SetAddressFields(const std::string& ip_test, const std::string& ip_production) override {
    fields_.ip_test = ip_test;
    fields_.ip_production = ip_production;
  }

  bool ShowModal() override {
    for (;;) {
      Draw();
      std::string key;
      LineStatus status = ReadTerminalLine(key, true);
      if (status == LineStatus::kEnd) return false;
      if (status == LineStatus::kCallsRan) continue;
      if (key == "p" || key == "P") return true;
      if (key == "o" || key == "O") return false;
      Act(key);
    }
  }

 private:
  void Draw() const {
    std::string text = "\n== Opcjie ==\n";
    text += " 1  Način rada       : " + ModeText(fields_.mode_index) + "\n";
    for (const TextField& field : kTextFields)
      text += " " + std::string(field.key) + "  " + Padded(field.label) + ": " +
              fields_.*field.value + "\n";
    text += std::string(" 7  [") + (fields_.call_dns ? "x" : " ") +
            "] Dobaviti IP adrese kod pokretanja\n";
    text += " d  Dobavi IP adrese sada\n";
    text += " o  Odustani      p  Potvrdi\n";
    text += "Opcjie> ";
    TerminalWrite(text);
  }

  static std::string Padded(const std::string& label) {
    constexpr std::size_t kWidth = 17;
    return label.size() < kWidth ? label + std::string(kWidth - label.size(), ' ') : label;
  }

  void Act(const std::string& key) {
    if (key == "1") return ChooseMode();
    if (key == "7") {
      fields_.call_dns = !fields_.call_dns;
      return;
    }
    if (key == "d" || key == "D") return events_.FetchAddressesClicked();
    for (const TextField& field : kTextFields)
      if (key == field.key) return EditText(field);
  }

  void ChooseMode() {
    std::string text = "Način rada:\n";
    for (int i = 0; i < kModeItemCount; ++i)
      text += "  " + std::to_string(i) + "  " + ModeText(i) + "\n";
    TerminalWrite(text + "Izbor (Enter: bez promjene)> ");
    std::string line;
    if (ReadTerminalLine(line, false) != LineStatus::kLine) return;
    for (int i = 0; i < kModeItemCount; ++i)
      if (line == std::to_string(i)) fields_.mode_index = i;
  }

  void EditText(const TextField& field) {
    TerminalWrite(std::string(field.label) + " [" + fields_.*field.value +
                  "]\nNovi tekst (Enter: bez promjene, \"-\": prazno)> ");
    std::string line;
    if (ReadTerminalLine(line, false) != LineStatus::kLine || line.empty()) return;
    fields_.*field.value = line == kClearField ? std::string() : line;
  }

  SettingsDialogEvents& events_;
  SettingsFields fields_;
};

}  // namespace

std::unique_ptr<SettingsDialog> CreateTerminalSettingsDialog(SettingsDialogEvents& events) {
  return std::make_unique<TerminalSettingsDialog>(events);
}

}  // namespace vp::platform
