// Helpers of the Windows front end's windows.
#include "ui/win32/Win32Windows.h"

#include <algorithm>
#include <vector>

namespace vp::platform {
namespace {

std::vector<HWND>& ModelessWindows() {
  static std::vector<HWND> windows;
  return windows;
}

}  // namespace

HINSTANCE ProgramInstance() { return GetModuleHandleW(nullptr); }

void SetProgramIcon(HWND window) {
  for (int size : {ICON_BIG, ICON_SMALL}) {
    int metric = size == ICON_BIG ? SM_CXICON : SM_CXSMICON;
    HANDLE icon = LoadImageW(ProgramInstance(), L"MAINICON", IMAGE_ICON, GetSystemMetrics(metric),
                             GetSystemMetrics(metric), LR_SHARED);
    SendMessageW(window, WM_SETICON, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(icon));
  }
}

void PlaceControl(HWND dialog, const PixelRect& rect) {
  HWND control = GetDlgItem(dialog, rect.id);
  if (control == nullptr) return;
  SetWindowPos(control, nullptr, rect.left, rect.top, rect.width, rect.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetClientSize(HWND window, int width, int height) {
  RECT frame = {0, 0, width, height};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)),
                     GetMenu(window) != nullptr,
                     static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
  int outer_width = frame.right - frame.left;
  int outer_height = frame.bottom - frame.top;
  UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
  SetWindowPos(window, nullptr, 0, 0, outer_width, outer_height, flags);
  // A menu bar that wraps onto a second line is not in the estimate; correct by what came out.
  RECT client;
  GetClientRect(window, &client);
  int missing_width = width - (client.right - client.left);
  int missing_height = height - (client.bottom - client.top);
  if (missing_width != 0 || missing_height != 0)
    SetWindowPos(window, nullptr, 0, 0, outer_width + missing_width, outer_height + missing_height,
                 flags);
}

void CenterOnScreen(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  SetWindowPos(window, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring WindowText(HWND window) {
  int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  int got = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(got, 0)));
  return text;
}

HFONT CentralEuropeanFontLike(HFONT font) {
  LOGFONTW description = {};
  if (font == nullptr || GetObjectW(font, sizeof description, &description) == 0) return nullptr;
  description.lfCharSet = EASTEUROPE_CHARSET;
  return CreateFontIndirectW(&description);
}

HFONT CentralEuropeanFont(const wchar_t* face, int pixel_height) {
  return CreateFontW(-pixel_height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, EASTEUROPE_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, face);
}

void SetControlsFont(HWND window, HFONT font) {
  if (font == nullptr) return;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT))
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void AddModelessWindow(HWND window) { ModelessWindows().push_back(window); }

void RemoveModelessWindow(HWND window) {
  std::vector<HWND>& windows = ModelessWindows();
  windows.erase(std::remove(windows.begin(), windows.end(), window), windows.end());
}

bool IsModelessMessage(MSG& message) {
  // A copy: handling the message may close one of them.
  std::vector<HWND> windows = ModelessWindows();
  for (HWND window : windows)
    if (IsDialogMessageW(window, &message)) return true;
  return false;
}

}  // namespace vp::platform
