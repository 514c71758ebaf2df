// Other windows through the window manager's own calls: WM_GETTEXT crosses processes, and a
// thread that has no window yet may move to another desktop to look at it.
#include "platform/OtherWindows.h"

#include <memory>
#include <type_traits>

#include "platform/win32/WideText.h"
#include "platform/win32/win32_api.h"

namespace vp::platform {
namespace {

constexpr int kMaxText = 1024;

struct DesktopCloser {
  void operator()(HDESK desktop) const { CloseDesktop(desktop); }
};
using UniqueDesktop = std::unique_ptr<std::remove_pointer_t<HDESK>, DesktopCloser>;

// The named desktop, made the calling thread's; null for "" or one that cannot be opened.
UniqueDesktop EnterDesktop(const std::string& name) {
  if (name.empty()) return nullptr;
  UniqueDesktop desktop(
      OpenDesktopW(WideFromUtf8(name).c_str(), 0, FALSE, DESKTOP_READOBJECTS | DESKTOP_ENUMERATE));
  if (desktop && !SetThreadDesktop(desktop.get())) desktop.reset();
  return desktop;
}

struct ClassCount {
  std::wstring name;
  int count = 0;
};

BOOL CALLBACK CountVisible(HWND window, LPARAM data) {
  auto* counting = reinterpret_cast<ClassCount*>(data);
  wchar_t name[256];
  if (IsWindowVisible(window) && GetClassNameW(window, name, 256) > 0 &&
      lstrcmpiW(name, counting->name.c_str()) == 0)
    ++counting->count;
  return TRUE;
}

}  // namespace

std::optional<std::string> ControlTextOfWindow(const std::string& desktop, const std::string& title,
                                               int control_id) {
  UniqueDesktop entered = EnterDesktop(desktop);
  if (!desktop.empty() && !entered) return std::nullopt;
  HWND window = FindWindowW(nullptr, WideFromUtf8(title).c_str());
  HWND control = window != nullptr ? GetDlgItem(window, control_id) : nullptr;
  if (control == nullptr) return std::nullopt;
  wchar_t text[kMaxText];
  LRESULT length = SendMessageW(control, WM_GETTEXT, kMaxText, reinterpret_cast<LPARAM>(text));
  return Utf8FromWide(std::wstring(text, static_cast<std::size_t>(length)));
}

int VisibleWindowsOfClass(const std::string& desktop, const std::string& class_name) {
  UniqueDesktop entered = EnterDesktop(desktop);
  if (!desktop.empty() && !entered) return -1;
  ClassCount counting{WideFromUtf8(class_name)};
  EnumDesktopWindows(entered.get(), CountVisible, reinterpret_cast<LPARAM>(&counting));
  return counting.count;
}

}  // namespace vp::platform
