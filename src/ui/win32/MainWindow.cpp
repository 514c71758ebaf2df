// The main window from its dialog template: client area 272 x 126 at 282, 177 of the screen, the
// main menu, the LED picture, the service label, the version and the web address, the tray icon
// through Shell_NotifyIconW and the tray menu. Its message loop also runs the calls other threads
// hand to the main thread, on a timer, so they run inside modal loops (the settings dialog, a
// message box, a menu) as well.
#include "ui/MainWindow.h"

#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/MainThread.h"
#include "platform/win32/WideText.h"
#include "ui/win32/ResourceIds.h"
#include "ui/win32/Win32Windows.h"

namespace vp::platform {
namespace {

constexpr int kClientWidth = 272;
constexpr int kClientHeight = 126;
constexpr int kLeft = 282;
constexpr int kTop = 177;
constexpr int kServiceLabelHeight = 20;
constexpr int kServiceLabelFontHeight = 16;
constexpr int kVersionLeft = 8;
constexpr int kBottomMargin = 4;
constexpr int kRightMargin = 8;
constexpr int kLastForwardGap = 2;
constexpr COLORREF kBlue = RGB(0, 0, 255);

constexpr UINT_PTR kMainThreadTimer = 1;
constexpr UINT kMainThreadTimerMs = 50;

constexpr UINT kTrayMessage = kTrayCallbackMessage;
constexpr UINT kUserShowMessage = WM_USER + 2;
constexpr UINT kUserTrayMessage = WM_USER + 3;

// The shell's limits on the tray record's texts, in UTF-16 units without the terminator.
constexpr std::size_t kMaxTip = 127;
constexpr std::size_t kMaxInfo = 255;
constexpr std::size_t kMaxInfoTitle = 63;

struct CommandItem {
  UINT command;
  MenuItem item;
};
constexpr CommandItem kCommands[] = {
    {IDM_HELP, MenuItem::kHelp},
    {IDM_SETTINGS, MenuItem::kSettings},
    {IDM_CLOSE, MenuItem::kClose},
    {IDM_START_SERVER, MenuItem::kStartServer},
    {IDM_STOP_SERVER, MenuItem::kStopServer},
    {IDM_INSTALL_SERVICE, MenuItem::kInstallService},
    {IDM_UNINSTALL_SERVICE, MenuItem::kUninstallService},
    {IDM_HOSTS_TEST, MenuItem::kHostsTest},
    {IDM_HOSTS_PROD, MenuItem::kHostsProd},
    {IDM_INSTALL_CA, MenuItem::kInstallCA},
    {IDM_TRAY_START, MenuItem::kTrayStart},
    {IDM_TRAY_STOP, MenuItem::kTrayStop},
    {IDM_CHECK_CONNECTION, MenuItem::kCheckConnection},
};

bool ItemOfCommand(UINT command, MenuItem& item) {
  for (const CommandItem& entry : kCommands)
    if (entry.command == command) {
      item = entry.item;
      return true;
    }
  return false;
}

// A pop-up menu as the resource script gives it. Windows menus have no hidden items, so the
// pop-up is rebuilt from this list, leaving the hidden ones out, each time it opens.
struct PopupModel {
  HMENU menu = nullptr;
  std::optional<Menu> opening;  // whose opening the logic handles
  struct Entry {
    UINT command = 0;  // 0 for a separator
    std::wstring caption;
  };
  std::vector<Entry> entries;
};

PopupModel ModelOf(HMENU menu, std::optional<Menu> opening) {
  PopupModel model;
  model.menu = menu;
  model.opening = opening;
  int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    wchar_t caption[128] = {};
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
    info.dwTypeData = caption;
    info.cch = static_cast<UINT>(std::size(caption) - 1);
    GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
    PopupModel::Entry entry;
    if ((info.fType & MFT_SEPARATOR) == 0) {
      entry.command = info.wID;
      entry.caption = caption;
    }
    model.entries.push_back(entry);
  }
  return model;
}

class Win32MainWindow : public MainWindow {
 public:
  explicit Win32MainWindow(MainWindowEvents& events) : events_(events) {
    taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");
    HINSTANCE instance = ProgramInstance();
    led_on_.reset(static_cast<HBITMAP>(
        LoadImageW(instance, L"LED_ON", IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS)));
    led_off_.reset(static_cast<HBITMAP>(
        LoadImageW(instance, L"LED_OFF", IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS)));
    tray_menu_.reset(LoadMenuW(instance, L"TRAYMENU"));
    window_ = CreateDialogParamW(instance, L"MAINFORM", nullptr, &Win32MainWindow::Proc,
                                 reinterpret_cast<LPARAM>(this));
    if (window_ == nullptr) throw std::runtime_error("The main window could not be created.");
  }

  // The window goes first: its menu bar goes with it, and its controls and the shell's tray icon
  // only borrow the menu, pictures, fonts and icons the members own.
  ~Win32MainWindow() override {
    if (window_ != nullptr) DestroyWindow(window_);
  }

  Win32MainWindow(const Win32MainWindow&) = delete;
  Win32MainWindow& operator=(const Win32MainWindow&) = delete;

  void SetVersionText(const std::string& text) override { SetLabel(IDC_VERSION, text); }
  void SetWebAddressText(const std::string& text) override { SetLabel(IDC_WWW, text); }

  void ShowLed(bool on) override {
    if (window_ == nullptr) return;
    SendDlgItemMessageW(window_, IDC_LED, STM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(on ? led_on_.get() : led_off_.get()));
    FormResize();
  }

  void SetServiceLabelVisible(bool visible) override {
    if (window_ != nullptr)
      ShowWindow(GetDlgItem(window_, IDC_SERVICE_LABEL), visible ? SW_SHOW : SW_HIDE);
  }

  void SetLastForwardText(const std::string& text) override {
    if (window_ != nullptr)
      SetWindowTextW(GetDlgItem(window_, IDC_LAST_FORWARD), WideFromUtf8(text).c_str());
  }

  void Show() override {
    if (window_ == nullptr) return;
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
  }
  void Hide() override {
    if (window_ != nullptr) ShowWindow(window_, SW_HIDE);
  }
  bool Visible() const override { return window_ != nullptr && IsWindowVisible(window_); }
  void BringToFront() override {
    if (window_ != nullptr) SetForegroundWindow(window_);
  }
  // Closing from inside one of the window's own handlers: the close comes once that has returned.
  void Close() override {
    if (window_ != nullptr) PostMessageW(window_, WM_CLOSE, 0, 0);
  }
  void Post(PostedMessage message) override {
    UINT number = message == PostedMessage::kShow ? kUserShowMessage : kUserTrayMessage;
    if (window_ != nullptr) PostMessageW(window_, number, 0, 0);
  }

  void PopupTrayMenuAtCursor() override {
    events_.MenuOpening(Menu::kTray);
    if (window_ == nullptr || tray_popup_.menu == nullptr) return;
    Rebuild(tray_popup_);
    POINT cursor;
    GetCursorPos(&cursor);
    // Without being the foreground window, the menu would not close when clicked away from.
    SetForegroundWindow(window_);
    TrackPopupMenu(tray_popup_.menu, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window_, nullptr);
    PostMessageW(window_, WM_NULL, 0, 0);
  }

  void NotifyTray(TrayCommand command, const TrayData& data) override {
    tray_ = data;
    if (command == TrayCommand::kDelete) tray_shown_ = false;
    HandToShell(command == TrayCommand::kAdd      ? NIM_ADD
                : command == TrayCommand::kModify ? NIM_MODIFY
                                                  : NIM_DELETE);
    if (command == TrayCommand::kAdd) tray_shown_ = true;
  }

  void OpenWebAddress(const std::string& address) override {
    ShellExecuteW(window_, L"open", WideFromUtf8(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }

  std::unique_ptr<SettingsDialog> CreateSettingsDialog(SettingsDialogEvents& events) override {
    return CreateWin32SettingsDialog(events, window_);
  }
  std::unique_ptr<HelpWindow> CreateHelpWindow(const std::string& text) override {
    return CreateWin32HelpWindow(text);
  }

  void Run() override {
    MSG message;
    while (window_ != nullptr && GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (window_ != nullptr && IsDialogMessageW(window_, &message)) continue;
      if (IsModelessMessage(message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }

 private:
  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
      SetWindowLongPtrW(window, DWLP_USER, lparam);
      reinterpret_cast<Win32MainWindow*>(lparam)->Init(window);
      return FALSE;
    }
    auto* self = reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    LRESULT result = 0;
    if (!self->Handle(message, wparam, lparam, result)) return FALSE;
    // The colour messages answer with their brush directly, the others through DWLP_MSGRESULT.
    if (message == WM_CTLCOLORSTATIC) return static_cast<INT_PTR>(result);
    SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
  }

  void Init(HWND window) {
    window_ = window;
    SetProgramIcon(window);
    SetClientSize(window, kClientWidth, kClientHeight);
    SetWindowPos(window, nullptr, kLeft, kTop, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    controls_font_.reset(
        CentralEuropeanFontLike(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0))));
    SetControlsFont(window, controls_font_.get());
    service_font_.reset(CentralEuropeanFont(L"MS Sans Serif", kServiceLabelFontHeight));
    if (service_font_.get() != nullptr)
      SendDlgItemMessageW(window, IDC_SERVICE_LABEL, WM_SETFONT,
                          reinterpret_cast<WPARAM>(service_font_.get()), FALSE);
    ShowWindow(GetDlgItem(window, IDC_SERVICE_LABEL), SW_HIDE);
    HMENU bar = GetMenu(window);
    popups_.push_back(ModelOf(GetSubMenu(bar, 0), std::nullopt));
    popups_.push_back(ModelOf(GetSubMenu(bar, 1), Menu::kServer));
    popups_.push_back(ModelOf(GetSubMenu(bar, 2), Menu::kHostsFile));
    popups_.push_back(ModelOf(GetSubMenu(bar, 3), std::nullopt));
    if (tray_menu_) tray_popup_ = ModelOf(GetSubMenu(tray_menu_.get(), 0), Menu::kTray);
    SendDlgItemMessageW(window, IDC_LED, STM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(led_off_.get()));
    SetTimer(window, kMainThreadTimer, kMainThreadTimerMs, nullptr);
    FormResize();
  }

  bool Handle(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    switch (message) {
      case WM_COMMAND:
        Command(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
        return true;
      case WM_INITMENUPOPUP:
        MenuOpens(reinterpret_cast<HMENU>(wparam));
        return true;
      case WM_SYSCOMMAND:
        // Compared as a whole, without masking the low bits the system may set.
        return wparam == SC_MINIMIZE && events_.MinimizeAsked();
      case WM_QUERYENDSESSION:
        result = TRUE;
        return true;
      case WM_ENDSESSION:
        if (wparam) events_.SessionEnding();
        return true;
      case WM_CLOSE:
        events_.Closing();
        DestroyWindow(window_);
        return true;
      case WM_DESTROY:
        Destroyed();
        return true;
      case WM_SIZE:
        FormResize();
        return true;
      case WM_TIMER:
        if (wparam == kMainThreadTimer) RunHandedOverCalls();
        return true;
      case WM_CTLCOLORSTATIC:
        result = LabelColours(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
        return true;
      case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wparam) != GetDlgItem(window_, IDC_WWW)) return false;
        SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));  // IDC_HAND
        result = TRUE;
        return true;
      case kTrayMessage:
        if (lparam == WM_LBUTTONDOWN) events_.TrayClicked(MouseButton::kLeft);
        if (lparam == WM_RBUTTONDOWN) events_.TrayClicked(MouseButton::kRight);
        return true;
      case kUserShowMessage:
        events_.PostedMessageArrived(PostedMessage::kShow);
        return true;
      case kUserTrayMessage:
        events_.PostedMessageArrived(PostedMessage::kTray);
        return true;
      default:
        // Explorer started again: its notification area has forgotten the icon.
        if (message == taskbar_created_ && tray_shown_) HandToShell(NIM_ADD);
        return false;
    }
  }

  void Command(UINT id, UINT notification, HWND control) {
    if (control != nullptr) {
      if (id == IDC_WWW && notification == STN_CLICKED) events_.WebAddressClicked();
      return;
    }
    MenuItem item;
    if (ItemOfCommand(id, item)) events_.MenuClicked(item);
  }

  void MenuOpens(HMENU menu) {
    for (PopupModel& popup : popups_) {
      if (popup.menu != menu) continue;
      if (popup.opening) events_.MenuOpening(*popup.opening);
      Rebuild(popup);
    }
  }

  // A separator shows only between two visible items, as the menus of the form designer the
  // layout comes from drop the ones that hidden items leave leading, trailing or doubled.
  void Rebuild(const PopupModel& popup) {
    while (GetMenuItemCount(popup.menu) > 0) DeleteMenu(popup.menu, 0, MF_BYPOSITION);
    bool separator_due = false;
    for (const PopupModel::Entry& entry : popup.entries) {
      if (entry.command == 0) {
        separator_due = GetMenuItemCount(popup.menu) > 0;
        continue;
      }
      MenuItem item;
      bool known = ItemOfCommand(entry.command, item);
      if (known && !MenuItemVisible(item)) continue;
      if (separator_due) AppendMenuW(popup.menu, MF_SEPARATOR, 0, nullptr);
      separator_due = false;
      UINT flags = MF_STRING;
      if (known && MenuItemChecked(item)) flags |= MF_CHECKED;
      AppendMenuW(popup.menu, flags, entry.command, entry.caption.c_str());
    }
  }

  LRESULT LabelColours(HDC dc, HWND control) {
    int id = GetDlgCtrlID(control);
    if (id == IDC_SERVICE_LABEL || id == IDC_VERSION || id == IDC_WWW) SetTextColor(dc, kBlue);
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
  }

  // Labels size themselves to their text, as the window's layout expects.
  void SetLabel(int id, const std::string& text) {
    if (window_ == nullptr) return;
    HWND label = GetDlgItem(window_, id);
    std::wstring wide = WideFromUtf8(text);
    SetWindowTextW(label, wide.c_str());
    HDC dc = GetDC(label);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
    SIZE extent = {0, 0};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    SetWindowPos(label, nullptr, 0, 0, extent.cx, extent.cy, SWP_NOMOVE | SWP_NOZORDER);
    FormResize();
  }

  static SIZE SizeOf(HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
  }

  void FormResize() {
    if (window_ == nullptr) return;
    RECT client;
    GetClientRect(window_, &client);
    int width = client.right;
    int height = client.bottom;
    HWND www = GetDlgItem(window_, IDC_WWW);
    HWND led = GetDlgItem(window_, IDC_LED);
    SIZE www_size = SizeOf(www);
    SIZE led_size = SizeOf(led);
    UINT flags = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
    SetWindowPos(GetDlgItem(window_, IDC_SERVICE_LABEL), nullptr, 0, 0, width, kServiceLabelHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(www, nullptr, width - www_size.cx - kRightMargin,
                 height - www_size.cy - kBottomMargin, 0, 0, flags);
    // The last forward's line takes two lines above the bottom labels (a failure's words may
    // wrap); the LED stands in the middle of what is left under the service label.
    int bottom_top = height - www_size.cy - kBottomMargin;
    int line_top = bottom_top - 2 * www_size.cy - kLastForwardGap;
    SetWindowPos(GetDlgItem(window_, IDC_LAST_FORWARD), nullptr, 0, line_top, width,
                 bottom_top - line_top, SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(led, nullptr, (width - led_size.cx) / 2,
                 kServiceLabelHeight + (line_top - kServiceLabelHeight - led_size.cy) / 2, 0, 0,
                 flags);
    SetWindowPos(GetDlgItem(window_, IDC_VERSION), nullptr, kVersionLeft,
                 height - www_size.cy - kBottomMargin, 0, 0, flags);
  }

  HICON TrayIcon(const std::string& name) {
    auto found = icons_.find(name);
    if (found != icons_.end()) return found->second.get();
    HICON icon = static_cast<HICON>(LoadImageW(ProgramInstance(), WideFromUtf8(name).c_str(),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    if (icon != nullptr) icons_.emplace(name, UniqueIcon(icon));
    return icon;
  }

  static void CopyTruncated(wchar_t* target, std::size_t max, const std::string& utf8) {
    std::wstring text = WideFromUtf8(utf8).substr(0, max);
    text.copy(target, text.size());
    target[text.size()] = L'\0';
  }

  // The record as the shell knows it, from the window's own copy. The outcome is not looked at.
  void HandToShell(DWORD command) {
    if (window_ == nullptr) return;
    NOTIFYICONDATAW data = {};
    data.cbSize = NOTIFYICONDATAW_V2_SIZE;  // the layout with the balloon fields
    data.hWnd = window_;
    data.uID = 0;
    data.uFlags = tray_.flags;
    data.uCallbackMessage = tray_.callback_message;
    if (!tray_.icon.empty()) data.hIcon = TrayIcon(tray_.icon);
    CopyTruncated(data.szTip, kMaxTip, tray_.tip);
    CopyTruncated(data.szInfo, kMaxInfo, tray_.info);
    data.uTimeout = tray_.timeout_ms;
    CopyTruncated(data.szInfoTitle, kMaxInfoTitle, tray_.info_title);
    data.dwInfoFlags = tray_.info_flags;
    Shell_NotifyIconW(command, &data);
  }

  void RunHandedOverCalls() {
    // A call that opens a message box runs a loop of its own, in which the timer fires again;
    // the calls queued meanwhile wait until the box is closed.
    if (running_calls_) return;
    running_calls_ = true;
    RunMainThreadCalls(0);
    running_calls_ = false;
  }

  void Destroyed() {
    KillTimer(window_, kMainThreadTimer);
    // No icon may stay behind in the notification area once the program is gone.
    if (tray_shown_) HandToShell(NIM_DELETE);
    tray_shown_ = false;
    window_ = nullptr;
    PostQuitMessage(0);
  }

  MainWindowEvents& events_;
  HWND window_ = nullptr;
  UniqueMenu tray_menu_;  // loaded on its own, so no window destroys it
  UniqueBitmap led_on_;
  UniqueBitmap led_off_;
  UniqueFont controls_font_;
  UniqueFont service_font_;
  UINT taskbar_created_ = 0;
  std::vector<PopupModel> popups_;
  PopupModel tray_popup_;
  std::map<std::string, UniqueIcon> icons_;
  TrayData tray_;
  bool tray_shown_ = false;
  bool running_calls_ = false;
};

}  // namespace

std::unique_ptr<MainWindow> CreateMainWindow(MainWindowEvents& events) {
  return std::make_unique<Win32MainWindow>(events);
}

}  // namespace vp::platform
