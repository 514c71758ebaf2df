// What the Windows front end's windows share: the program's resources, exact pixel placement,
// and the message loop's view of the modeless windows.
#pragma once

#include <memory>
#include <string>

#include "platform/HelpWindow.h"
#include "platform/SettingsDialog.h"
#include "platform/win32/win32_api.h"

namespace vp::platform {

HINSTANCE ProgramInstance();

// A control's rectangle in client pixels.
struct PixelRect {
  int id;
  int left;
  int top;
  int width;
  int height;
};
void PlaceControl(HWND dialog, const PixelRect& rect);
// Resizes the window so that its client area (below the menu, if any) has exactly this size.
void SetClientSize(HWND window, int width, int height);
void CenterOnScreen(HWND window);
std::wstring WindowText(HWND window);

// Modeless windows whose keyboard messages the loop hands to IsDialogMessage.
void AddModelessWindow(HWND window);
void RemoveModelessWindow(HWND window);
bool IsModelessMessage(MSG& message);

std::unique_ptr<SettingsDialog> CreateWin32SettingsDialog(SettingsDialogEvents& events, HWND owner);
std::unique_ptr<HelpWindow> CreateWin32HelpWindow(const std::string& text);

}  // namespace vp::platform
