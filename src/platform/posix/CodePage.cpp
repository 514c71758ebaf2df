// The ANSI code page for the POSIX build. There is no system ANSI code page here, so the build
// fixes the one the program's users run on Windows: Windows-1250 (Central European), by a table of
// its own rather than the C library's locale, which differs from machine to machine.
#include "platform/CodePage.h"

#include <array>

namespace vp::platform {
namespace {

// UTF-16 code units of the bytes 0x80 to 0xFF. The five bytes that Windows-1250 leaves undefined
// (0x81, 0x83, 0x88, 0x90, 0x98) map to the C1 control of the same value, as Windows itself does.
constexpr std::array<std::uint16_t, 128> kHighUnits = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // F8
};

// Lower-case letters above 0x7F that are not simply 0x20 above their capital.
struct CasePair {
  unsigned char lower;
  unsigned char upper;
};
constexpr std::array<CasePair, 10> kHighCasePairs = {{
    {0x9A, 0x8A},  // s caron
    {0x9C, 0x8C},  // s acute
    {0x9D, 0x8D},  // t caron
    {0x9E, 0x8E},  // z caron
    {0x9F, 0x8F},  // z acute
    {0xB3, 0xA3},  // l stroke
    {0xB9, 0xA5},  // a ogonek
    {0xBA, 0xAA},  // s cedilla
    {0xBE, 0xBC},  // l caron
    {0xBF, 0xAF},  // z dot above
}};

constexpr char kReplacement = '?';

// A decoded code point, or -1 for a malformed sequence; advances pos past what it consumed.
long DecodeUtf8(const std::string& bytes, std::size_t& pos) {
  auto lead = static_cast<unsigned char>(bytes[pos++]);
  if (lead < 0x80) return lead;
  int extra;
  long value;
  long minimum;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, value = lead & 0x07, minimum = 0x10000;
  } else {
    return -1;
  }
  for (int i = 0; i < extra; ++i) {
    if (pos >= bytes.size()) return -1;
    auto next = static_cast<unsigned char>(bytes[pos]);
    if ((next & 0xC0) != 0x80) return -1;
    value = (value << 6) | (next & 0x3F);
    ++pos;
  }
  if (value < minimum || value > 0x10FFFF) return -1;
  if (value >= 0xD800 && value <= 0xDFFF) return -1;
  return value;
}

char AnsiFromCodePoint(long code_point) {
  if (code_point < 0x80) return static_cast<char>(code_point);
  for (std::size_t i = 0; i < kHighUnits.size(); ++i) {
    if (kHighUnits[i] == code_point) return static_cast<char>(0x80 + i);
  }
  return kReplacement;
}

unsigned char UpperOf(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
  // 0xF7 is the division sign and 0xFF the dot above, neither of them a letter.
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  for (const CasePair& pair : kHighCasePairs) {
    if (pair.lower == c) return pair.upper;
  }
  return c;
}

}  // namespace

std::string AnsiFromUtf16Unit(std::uint16_t unit) {
  return std::string(1, AnsiFromCodePoint(unit));
}

std::string AnsiFromUtf8(const std::string& utf8) {
  std::string result;
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    long code_point = DecodeUtf8(utf8, pos);
    if (code_point < 0) return {};
    result += AnsiFromCodePoint(code_point);
  }
  return result;
}

std::uint16_t Utf16UnitFromAnsi(char c) {
  auto byte = static_cast<unsigned char>(c);
  return byte < 0x80 ? byte : kHighUnits[byte - 0x80];
}

std::string Utf8FromAnsi(const std::string& ansi) {
  std::string result;
  result.reserve(ansi.size());
  for (char c : ansi) {
    std::uint16_t unit = Utf16UnitFromAnsi(c);
    if (unit < 0x80) {
      result += static_cast<char>(unit);
    } else if (unit < 0x800) {
      result += static_cast<char>(0xC0 | (unit >> 6));
      result += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
      result += static_cast<char>(0xE0 | (unit >> 12));
      result += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (unit & 0x3F));
    }
  }
  return result;
}

std::string AnsiUpperCase(const std::string& text) {
  std::string result = text;
  for (char& c : result) c = static_cast<char>(UpperOf(static_cast<unsigned char>(c)));
  return result;
}

}  // namespace vp::platform
