// What the Windows front end's windows share: the program's resources, exact pixel placement,
// and the message loop's view of the modeless windows.
#pragma once

#include <memory>
#include <string>

#include "platform/win32/Handles.h"
#include "platform/win32/win32_api.h"
#include "ui/HelpWindow.h"
#include "ui/SettingsDialog.h"

namespace vp::platform {

HINSTANCE ProgramInstance();
// Gives the window the program's main icon, large and small, as every window of the program shows.
void SetProgramIcon(HWND window);

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

// The windows' texts are Croatian whatever the machine's code page is. A font asked for with the
// default character set is, on a Western European system, a bitmap face without the letters
// č, ć and đ; the same face asked for with the Central European set has them. A font like the one
// given, with that set; null when the system makes none.
HFONT CentralEuropeanFontLike(HFONT font);
// A font with that set of the face and pixel height given (the character height, as negative
// heights ask for).
HFONT CentralEuropeanFont(const wchar_t* face, int pixel_height);
// Gives the window's every control that font.
void SetControlsFont(HWND window, HFONT font);

// Modeless windows whose keyboard messages the loop hands to IsDialogMessage.
void AddModelessWindow(HWND window);
void RemoveModelessWindow(HWND window);
bool IsModelessMessage(MSG& message);

std::unique_ptr<SettingsDialog> CreateWin32SettingsDialog(SettingsDialogEvents& events, HWND owner);
std::unique_ptr<HelpWindow> CreateWin32HelpWindow(const std::string& text);

}  // namespace vp::platform
