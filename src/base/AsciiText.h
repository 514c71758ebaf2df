// Case and white-space handling for protocol text (header names, methods, codings): ASCII only,
// never the locale, so a Turkish or Croatian locale cannot change how a header matches.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

namespace vp {

inline char AsciiLower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

inline std::string AsciiLowerCopy(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

inline std::string AsciiUpperCopy(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiLower(x) == AsciiLower(y);
         });
}

inline bool ContainsNoCase(std::string_view text, std::string_view word) {
  return std::search(text.begin(), text.end(), word.begin(), word.end(),
                     [](char x, char y) { return AsciiLower(x) == AsciiLower(y); }) != text.end();
}

// Without the spaces and tabs at either end.
inline std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Appends "name: value" and CR LF; a header without a value is not sent at all.
inline void AppendHeaderLine(std::string& out, std::string_view name, std::string_view value) {
  if (value.empty()) return;
  out.append(name).append(": ").append(value).append("\r\n");
}

}  // namespace vp
