// URL splitting and percent decoding.
#include "http/UrlSplit.h"

#include <cstdint>

namespace vp {
namespace {

constexpr auto npos = std::string::npos;

// Backslashes count as slashes from just after the scheme's ':' (and its two slashes) up to the
// query or fragment, as Windows programs write them.
void NormaliseBackslashes(std::string& text) {
  std::size_t start = 0;
  std::size_t colon = text.find(':');
  if (colon != npos) {
    start = colon + 1;
    for (int skipped = 0; skipped < 2 && start < text.size(); ++skipped) {
      if (text[start] != '/' && text[start] != '\\') break;
      ++start;
    }
  }
  std::size_t stop = text.find_first_of("?#", start);
  if (stop == npos) stop = text.size();
  for (std::size_t i = start; i < stop; ++i)
    if (text[i] == '\\') text[i] = '/';
}

void SplitQueryAndFragment(std::string& rest, UrlParts& parts) {
  std::size_t question = rest.find('?');
  if (question != npos) {
    parts.query = rest.substr(question + 1);
    rest.resize(question);
    std::size_t hash = parts.query.find('#');
    if (hash != npos) {
      parts.fragment = parts.query.substr(hash + 1);
      parts.query.resize(hash);
    }
    return;
  }
  std::size_t hash = rest.find('#');
  if (hash != npos) {
    parts.fragment = rest.substr(hash + 1);
    rest.resize(hash);
  }
}

void SplitAuthority(std::string authority, UrlParts& parts) {
  std::size_t at = authority.rfind('@');
  if (at != npos) {
    parts.user = authority.substr(0, at);
    authority.erase(0, at + 1);
  }
  std::size_t open = authority.find('[');
  std::size_t close = open == npos ? npos : authority.find(']', open);
  if (close != npos) {
    parts.host = authority.substr(open + 1, close - open - 1);
    std::size_t colon = authority.find(':', close);
    if (colon != npos) parts.port = authority.substr(colon + 1);
    return;
  }
  std::size_t colon = authority.find(':');
  parts.host = authority.substr(0, colon);
  if (colon != npos) parts.port = authority.substr(colon + 1);
}

void SplitPathAndDocument(const std::string& text, const std::string& prefix, UrlParts& parts) {
  std::size_t slash = text.rfind('/');
  if (slash == npos) {
    parts.path = prefix;
    parts.document = text;
  } else {
    parts.path = prefix + text.substr(0, slash + 1);
    parts.document = text.substr(slash + 1);
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The value of count hex digits at text[at], or -1.
long HexAt(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return -1;
  long value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    int digit = HexValue(text[at + i]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

void AppendUtf8(std::uint32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

UrlParts SplitUrl(std::string_view url) {
  UrlParts parts;
  std::string text(url);
  NormaliseBackslashes(text);

  std::size_t separator = text.find("://");
  bool has_scheme = separator != npos;
  std::string rest = text;
  if (has_scheme) {
    parts.scheme = text.substr(0, separator);
    rest = text.substr(separator + 3);
  }
  SplitQueryAndFragment(rest, parts);
  if (!has_scheme) {
    SplitPathAndDocument(rest, "", parts);
    return parts;
  }
  std::size_t slash = rest.find('/');
  SplitAuthority(rest.substr(0, slash), parts);
  SplitPathAndDocument(slash == npos ? std::string() : rest.substr(slash + 1), "/", parts);
  return parts;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 1 < text.size() && (text[i + 1] == 'u' || text[i + 1] == 'U')) {
      long unit = HexAt(text, i + 2, 4);
      if (unit >= 0) {
        std::uint32_t code = static_cast<std::uint32_t>(unit);
        i += 5;
        // A high surrogate escape followed by a low one stands for one character.
        if (code >= 0xD800 && code < 0xDC00 && text.substr(i + 1).starts_with("%u")) {
          long low = HexAt(text, i + 3, 4);
          if (low >= 0xDC00 && low < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<std::uint32_t>(low) - 0xDC00);
            i += 6;
          }
        }
        AppendUtf8(code, out);
        continue;
      }
    }
    long byte = HexAt(text, i + 1, 2);
    if (byte < 0) {
      out += '%';
      continue;
    }
    out += static_cast<char>(byte);
    i += 2;
  }
  return out;
}

}  // namespace vp
