// UTF-8 and the ANSI code page to UTF-16, and UTF-16 to UTF-8, for the system's wide-character
// calls.
#pragma once

#include <string>

namespace vp::platform {

// Empty for empty or malformed input.
std::wstring WideFromUtf8(const std::string& utf8);
// The program's 8-bit text in the system's ANSI code page. Empty for empty input.
std::wstring WideFromAnsi(const std::string& ansi);
// Lone surrogates become U+FFFD.
std::string Utf8FromWide(const std::wstring& wide);

}  // namespace vp::platform
