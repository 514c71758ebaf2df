// The help window on the terminal: its caption and text, printed each time it is shown.
#include <string>

#include "ui/terminal/TerminalWindows.h"

namespace vp::platform {
namespace {

class TerminalHelpWindow : public HelpWindow {
 public:
  explicit TerminalHelpWindow(std::string text) : text_(std::move(text)) {}

  void Show() override { TerminalWrite("\n== Pomoć ==\n" + text_ + "\n== (kraj pomoći) ==\n"); }

 private:
  std::string text_;
};

}  // namespace

std::unique_ptr<HelpWindow> CreateTerminalHelpWindow(const std::string& text) {
  return std::make_unique<TerminalHelpWindow>(text);
}

}  // namespace vp::platform
