// The ANSI code page for the Windows build: the system's own (CP_ACP), through the system's
// conversions, so the program agrees with every other ANSI program on the machine.
#include "platform/CodePage.h"

#include <vector>

#include "platform/win32/WideText.h"
#include "platform/win32/win32_api.h"

namespace vp::platform {
namespace {

// Best-fit mapping would turn, say, a c with caron into a plain c on a Western machine and so
// change a setting's meaning silently; a '?' at least shows that the character is gone. When the
// ANSI code page is UTF-8 the system refuses that flag, and every character exists anyway.
std::string AnsiFromWide(const wchar_t* wide, int count) {
  if (count <= 0) return {};
  DWORD flags = WC_NO_BEST_FIT_CHARS;
  int size = WideCharToMultiByte(CP_ACP, flags, wide, count, nullptr, 0, nullptr, nullptr);
  if (size == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
    flags = 0;
    size = WideCharToMultiByte(CP_ACP, flags, wide, count, nullptr, 0, nullptr, nullptr);
  }
  if (size <= 0) return {};
  std::string result(static_cast<std::size_t>(size), '\0');
  int n = WideCharToMultiByte(CP_ACP, flags, wide, count, result.data(), size, nullptr, nullptr);
  result.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return result;
}

// A character beyond the Basic Multilingual Plane takes two UTF-16 units, and the conversion into
// a single- or double-byte code page gives a '?' for each unit; it must stay one character, one
// '?'. Only a UTF-8 ANSI code page holds such characters, and there the pair stays as it is.
std::vector<wchar_t> OneUnitPerCharacter(std::vector<wchar_t> wide) {
  if (GetACP() == CP_UTF8) return wide;
  std::vector<wchar_t> result;
  result.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    bool pair = IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.size() && IS_LOW_SURROGATE(wide[i + 1]);
    result.push_back(pair ? L'?' : wide[i]);
    if (pair) ++i;
  }
  return result;
}

}  // namespace

std::string AnsiFromUtf16Unit(std::uint16_t unit) {
  wchar_t wide = static_cast<wchar_t>(unit);
  return AnsiFromWide(&wide, 1);
}

std::string AnsiFromUtf8(const std::string& utf8) {
  if (utf8.empty()) return {};
  int length = static_cast<int>(utf8.size());
  // MB_ERR_INVALID_CHARS: malformed input gives nothing rather than U+FFFD, as on POSIX.
  int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
  if (count <= 0) return {};
  std::vector<wchar_t> wide(static_cast<std::size_t>(count));
  count =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(), count);
  wide.resize(count > 0 ? static_cast<std::size_t>(count) : 0);
  wide = OneUnitPerCharacter(std::move(wide));
  return AnsiFromWide(wide.data(), static_cast<int>(wide.size()));
}

std::uint16_t Utf16UnitFromAnsi(char c) {
  wchar_t wide = 0;
  if (MultiByteToWideChar(CP_ACP, 0, &c, 1, &wide, 1) != 1) return static_cast<unsigned char>(c);
  return static_cast<std::uint16_t>(wide);
}

std::string Utf8FromAnsi(const std::string& ansi) { return Utf8FromWide(WideFromAnsi(ansi)); }

std::string AnsiUpperCase(const std::string& text) {
  if (text.empty()) return text;
  std::string result = text;
  // CharUpperBuffA works in place, by the user's locale, on the ANSI code page's letters.
  CharUpperBuffA(result.data(), static_cast<DWORD>(result.size()));
  return result;
}

}  // namespace vp::platform
