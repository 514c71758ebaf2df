// UTF-8 to and from UTF-16 for the wide-character calls of the Windows user interface.
#pragma once

#include <string>

namespace vp::platform {

// Empty for empty or malformed input.
std::wstring WideFromUtf8(const std::string& utf8);
// Lone surrogates become U+FFFD.
std::string Utf8FromWide(const std::wstring& wide);

}  // namespace vp::platform
