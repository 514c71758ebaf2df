// The machine's 8-bit ANSI code page, in which the program keeps all of its text: conversions from
// and to UTF-16 and UTF-8, and upper-casing by the code page's own letters.
#pragma once

#include <cstdint>
#include <string>

namespace vp::platform {

// One UTF-16 code unit in the ANSI code page: usually one character, '?' when the code page lacks
// it. A lone surrogate is converted on its own and so becomes '?'.
std::string AnsiFromUtf16Unit(std::uint16_t unit);

// Well-formed UTF-8 in the ANSI code page, '?' for each character the code page lacks. Empty when
// the bytes are not well-formed UTF-8 (overlong forms, encoded surrogates, values past U+10FFFF,
// cut-off or stray continuation bytes).
std::string AnsiFromUtf8(const std::string& utf8);

// ANSI text as UTF-8, for the places that show text outside the program (message boxes, the
// terminal). Characters the code page leaves undefined keep their code unit's value.
std::string Utf8FromAnsi(const std::string& ansi);

// The UTF-16 code unit of one ANSI character. A byte that the code page leaves undefined maps to
// the code unit of the same value, so it survives a round trip through a \u escape.
std::uint16_t Utf16UnitFromAnsi(char c);

// The text with every lower-case letter of the code page replaced by its capital, accented letters
// included; letters without a single-character capital (such as the sharp s) stay as they are.
std::string AnsiUpperCase(const std::string& text);

}  // namespace vp::platform
