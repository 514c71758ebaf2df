#include "platform/win32/WideText.h"

#include "platform/win32/win32_api.h"

namespace vp::platform {

namespace {

std::wstring WideFrom(UINT code_page, const std::string& text) {
  if (text.empty()) return {};
  int length = static_cast<int>(text.size());
  int count = MultiByteToWideChar(code_page, 0, text.data(), length, nullptr, 0);
  if (count <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(count), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), length, wide.data(), count);
  return wide;
}

}  // namespace

std::wstring WideFromUtf8(const std::string& utf8) { return WideFrom(CP_UTF8, utf8); }

std::wstring WideFromAnsi(const std::string& ansi) { return WideFrom(CP_ACP, ansi); }

std::string Utf8FromWide(const std::wstring& wide) {
  if (wide.empty()) return {};
  int length = static_cast<int>(wide.size());
  int count = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (count <= 0) return {};
  std::string utf8(static_cast<std::size_t>(count), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), count, nullptr, nullptr);
  return utf8;
}

}  // namespace vp::platform
