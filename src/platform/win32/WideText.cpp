#include "platform/win32/WideText.h"

#include "platform/win32/win32_api.h"

namespace vp::platform {

std::wstring WideFromUtf8(const std::string& utf8) {
  if (utf8.empty()) return {};
  int length = static_cast<int>(utf8.size());
  int count = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  if (count <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(count), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), count);
  return wide;
}

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
