// The settings dialog "Opcjie" from its dialog template, run modally with DialogBoxParamW. Its
// controls stand at the pixel positions below, in a client area of 408 x 280, centred on the
// screen. Fields are read from the controls while the dialog is open and kept as they were when
// it closed.
#include <array>
#include <string>

#include "platform/win32/WideText.h"
#include "ui/win32/ResourceIds.h"
#include "ui/win32/Win32Windows.h"

namespace vp::platform {
namespace {

constexpr int kClientWidth = 408;
constexpr int kClientHeight = 280;
constexpr int kLabelWidth = 120;
constexpr int kLabelHeight = 13;
constexpr int kEditHeight = 21;
constexpr int kButtonHeight = 25;
constexpr int kComboListHeight = 120;  // the drop-down list's height below the field

constexpr std::array<PixelRect, 17> kLayout = {{
    {IDC_MODE_LABEL, 8, 8, kLabelWidth, kLabelHeight},
    {IDC_MODE, 8, 24, 393, kEditHeight + kComboListHeight},
    {IDC_URL_TEST_LABEL, 8, 56, kLabelWidth, kLabelHeight},
    {IDC_URL_TEST, 8, 72, 393, kEditHeight},
    {IDC_URL_PRODUCTION_LABEL, 8, 104, kLabelWidth, kLabelHeight},
    {IDC_URL_PRODUCTION, 8, 120, 393, kEditHeight},
    {IDC_IP_TEST_LABEL, 8, 152, kLabelWidth, kLabelHeight},
    {IDC_IP_TEST, 8, 168, 121, kEditHeight},
    {IDC_IP_PRODUCTION_LABEL, 144, 152, kLabelWidth, kLabelHeight},
    {IDC_IP_PRODUCTION, 144, 168, 121, kEditHeight},
    {IDC_DNS_SERVER_LABEL, 280, 152, kLabelWidth, kLabelHeight},
    {IDC_DNS_SERVER, 280, 168, 121, kEditHeight},
    {IDCANCEL, 232, 248, 75, kButtonHeight},
    {IDOK, 320, 248, 75, kButtonHeight},
    {IDC_CALL_DNS, 8, 204, 217, 17},
    {IDC_FETCH, 240, 200, 161, kButtonHeight},
    {IDC_BEVEL, 8, 232, 393, 2},
}};

struct TextControl {
  int id;
  std::string SettingsFields::*value;
};
constexpr std::array<TextControl, 5> kTextControls = {{
    {IDC_URL_TEST, &SettingsFields::url_test},
    {IDC_URL_PRODUCTION, &SettingsFields::url_production},
    {IDC_IP_TEST, &SettingsFields::ip_test},
    {IDC_IP_PRODUCTION, &SettingsFields::ip_production},
    {IDC_DNS_SERVER, &SettingsFields::dns_server},
}};

std::wstring ResourceString(UINT id) {
  const wchar_t* text = nullptr;
  int length = LoadStringW(ProgramInstance(), id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
}

class Win32SettingsDialog : public SettingsDialog {
 public:
  Win32SettingsDialog(SettingsDialogEvents& events, HWND owner) : events_(events), owner_(owner) {}

  void SetFields(const SettingsFields& fields) override {
    fields_ = fields;
    if (dialog_ != nullptr) ShowFields();
  }

  SettingsFields Fields() const override {
    if (dialog_ == nullptr) return fields_;
    SettingsFields fields = fields_;
    ReadFields(fields);
    return fields;
  }

  void SetAddressFields(const std::string& ip_test, const std::string& ip_production) override {
    fields_.ip_test = ip_test;
    fields_.ip_production = ip_production;
    if (dialog_ == nullptr) return;
    SetDlgItemTextW(dialog_, IDC_IP_TEST, WideFromUtf8(ip_test).c_str());
    SetDlgItemTextW(dialog_, IDC_IP_PRODUCTION, WideFromUtf8(ip_production).c_str());
  }

  bool ShowModal() override {
    INT_PTR result = DialogBoxParamW(ProgramInstance(), L"SETTINGSFORM", owner_,
                                     &Win32SettingsDialog::Proc, reinterpret_cast<LPARAM>(this));
    dialog_ = nullptr;
    return result == IDOK;
  }

 private:
  static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      reinterpret_cast<Win32SettingsDialog*>(lparam)->Init(dialog);
      return TRUE;
    }
    auto* self = reinterpret_cast<Win32SettingsDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (self == nullptr || message != WM_COMMAND) return FALSE;
    self->Command(LOWORD(wparam), HIWORD(wparam));
    return TRUE;
  }

  void Init(HWND dialog) {
    dialog_ = dialog;
    font_.reset(
        CentralEuropeanFontLike(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0))));
    SetControlsFont(dialog, font_.get());
    SetClientSize(dialog, kClientWidth, kClientHeight);
    for (const PixelRect& rect : kLayout) PlaceControl(dialog, rect);
    CenterOnScreen(dialog);
    HWND mode = GetDlgItem(dialog, IDC_MODE);
    SendMessageW(mode, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L""));
    for (UINT id : {IDS_MODE_1, IDS_MODE_2, IDS_MODE_3})
      SendMessageW(mode, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ResourceString(id).c_str()));
    ShowFields();
  }

  void Command(int id, int notification) {
    switch (id) {
      case IDOK:
      case IDCANCEL:
        ReadFields(fields_);
        EndDialog(dialog_, id);
        return;
      case IDC_FETCH:
        if (notification == BN_CLICKED) events_.FetchAddressesClicked();
        return;
      default:
        return;
    }
  }

  void ShowFields() {
    // An index outside the list (a stored mode above 3, or none) selects nothing.
    int index = fields_.mode_index >= 0 && fields_.mode_index < kModeItemCount ? fields_.mode_index
                                                                               : kNoModeSelected;
    SendDlgItemMessageW(dialog_, IDC_MODE, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    for (const TextControl& control : kTextControls)
      SetDlgItemTextW(dialog_, control.id, WideFromUtf8(fields_.*control.value).c_str());
    CheckDlgButton(dialog_, IDC_CALL_DNS, fields_.call_dns ? BST_CHECKED : BST_UNCHECKED);
  }

  void ReadFields(SettingsFields& fields) const {
    LRESULT index = SendDlgItemMessageW(dialog_, IDC_MODE, CB_GETCURSEL, 0, 0);
    fields.mode_index = index == CB_ERR ? kNoModeSelected : static_cast<int>(index);
    for (const TextControl& control : kTextControls)
      fields.*control.value = Utf8FromWide(WindowText(GetDlgItem(dialog_, control.id)));
    fields.call_dns = IsDlgButtonChecked(dialog_, IDC_CALL_DNS) == BST_CHECKED;
  }

  SettingsDialogEvents& events_;
  HWND owner_;
  HWND dialog_ = nullptr;
  UniqueFont font_;  // outlives the dialog's controls, which only borrow it
  SettingsFields fields_;
};

}  // namespace

std::unique_ptr<SettingsDialog> CreateWin32SettingsDialog(SettingsDialogEvents& events,
                                                          HWND owner) {
  return std::make_unique<Win32SettingsDialog>(events, owner);
}

}  // namespace vp::platform
