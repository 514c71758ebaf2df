// The visible and ticked state of the menu items as the logic last set it, which a window draws
// its menus from when they open. An item never set is visible and not ticked.
#pragma once

#include <set>

#include "platform/MainWindow.h"

namespace vp::platform {

class MenuItemStates {
 public:
  void SetVisible(MenuItem item, bool visible) { Mark(hidden_, item, !visible); }
  bool Visible(MenuItem item) const { return !hidden_.contains(item); }
  void SetChecked(MenuItem item, bool checked) { Mark(checked_, item, checked); }
  bool Checked(MenuItem item) const { return checked_.contains(item); }

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

}  // namespace vp::platform
