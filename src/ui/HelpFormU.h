// The help window "Pomoć" and its text: the three modes, the hosts-file lines, the certificate
// files, the addresses and the root certificate.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "ui/HelpWindow.h"
#include "ui/MainWindow.h"

namespace vp {

inline constexpr std::size_t kHelpLineCount = 64;

// The help text line by line, UTF-8; empty lines separate the paragraphs.
const std::array<const char*, kHelpLineCount>& HelpLines();
// The lines joined by "\n".
std::string HelpText();

class THelpForm {
 public:
  // Makes the window, not yet shown; it has no owner.
  explicit THelpForm(platform::MainWindow& main_window);
  // Shows it without blocking; after a close, the same window shows again.
  void Show();

 private:
  std::unique_ptr<platform::HelpWindow> window_;
};

}  // namespace vp
