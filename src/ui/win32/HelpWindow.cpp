// The help window "Pomoć" from its dialog template: 697 x 339 pixels, centred, the text filling
// the client area in Tahoma 16 px. Closing only hides it.
#include <string>

#include "platform/win32/WideText.h"
#include "ui/win32/ResourceIds.h"
#include "ui/win32/Win32Windows.h"

namespace vp::platform {
namespace {

constexpr int kOuterWidth = 697;
constexpr int kOuterHeight = 339;
constexpr int kMemoFontHeight = 16;

// Edit controls break lines at CR LF only.
std::wstring WithCrLf(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\n') out += L'\r';
    out += c;
  }
  return out;
}

class Win32HelpWindow : public HelpWindow {
 public:
  explicit Win32HelpWindow(const std::string& text) : text_(WithCrLf(WideFromUtf8(text))) {
    font_.reset(CreateFontW(-kMemoFontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                            DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                            DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma"));
    window_ = CreateDialogParamW(ProgramInstance(), L"HELPFORM", nullptr, &Win32HelpWindow::Proc,
                                 reinterpret_cast<LPARAM>(this));
    if (window_ != nullptr) AddModelessWindow(window_);
  }

  ~Win32HelpWindow() override {
    if (window_ != nullptr) {
      RemoveModelessWindow(window_);
      DestroyWindow(window_);
    }
  }

  Win32HelpWindow(const Win32HelpWindow&) = delete;
  Win32HelpWindow& operator=(const Win32HelpWindow&) = delete;

  void Show() override {
    if (window_ == nullptr) return;
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
  }

 private:
  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
      SetWindowLongPtrW(window, DWLP_USER, lparam);
      reinterpret_cast<Win32HelpWindow*>(lparam)->Init(window);
      return FALSE;
    }
    auto* self = reinterpret_cast<Win32HelpWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    switch (message) {
      case WM_SIZE:
        self->FillClientArea();
        return TRUE;
      case WM_CLOSE:
        ShowWindow(window, SW_HIDE);
        return TRUE;
      case WM_COMMAND:
        // Escape in the text closes the window the way its close button does.
        if (LOWORD(wparam) == IDCANCEL) ShowWindow(window, SW_HIDE);
        return TRUE;
      case WM_CTLCOLORSTATIC:
        // A read-only edit paints as a static; the text reads as a page, white.
        SetBkColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
      default:
        return FALSE;
    }
  }

  void Init(HWND window) {
    window_ = window;
    SetProgramIcon(window);
    SetWindowPos(window, nullptr, 0, 0, kOuterWidth, kOuterHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CenterOnScreen(window);
    HWND memo = GetDlgItem(window, IDC_MEMO);
    if (font_) SendMessageW(memo, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    SetWindowTextW(memo, text_.c_str());
    FillClientArea();
    SetFocus(memo);
    SendMessageW(memo, EM_SETSEL, 0, 0);
  }

  void FillClientArea() {
    RECT client;
    GetClientRect(window_, &client);
    SetWindowPos(GetDlgItem(window_, IDC_MEMO), nullptr, 0, 0, client.right, client.bottom,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }

  std::wstring text_;
  UniqueFont font_;  // outlives the window, whose memo only borrows it
  HWND window_ = nullptr;
};

}  // namespace

std::unique_ptr<HelpWindow> CreateWin32HelpWindow(const std::string& text) {
  return std::make_unique<Win32HelpWindow>(text);
}

}  // namespace vp::platform
