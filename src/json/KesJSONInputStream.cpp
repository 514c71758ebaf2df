// The reading cursor: characters, strings with their escapes and UTF-8, the literal words and the
// number state machine.
#include <cstring>

#include "base/Error.h"
#include "json/KesJSONStreams.h"
#include "platform/CodePage.h"

namespace vp {
namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Bytes in a UTF-8 sequence by its lead byte's high bits, up to the old six-byte forms; 0 for a
// byte that cannot lead one.
int Utf8SequenceLength(unsigned char lead) {
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  if ((lead & 0xFC) == 0xF8) return 5;
  if ((lead & 0xFE) == 0xFC) return 6;
  return 0;
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

[[noreturn]] void ThrowNotValidInteger(const std::string& text) {
  std::string message = kMsgNotValidInteger;
  message.replace(message.find("%s"), 2, text);
  throw Error(ErrorKind::kConvert, message, "\\u escape");
}

}  // namespace

void TKesJSONInputStream::SetText(const std::string& text) {
  Text = text;
  Position = 1;
}

bool TKesJSONInputStream::AtEnd() const {
  return Position < 1 || static_cast<std::size_t>(Position) > Text.size();
}

char TKesJSONInputStream::Peek() const { return AtEnd() ? '\0' : Text[Position - 1]; }

char TKesJSONInputStream::Next() {
  char c = Peek();
  ++Position;
  return c;
}

void TKesJSONInputStream::SkipWhitespace() {
  while (!AtEnd()) {
    char c = Peek();
    if (c != '\t' && c != '\n' && c != '\r' && c != ' ') return;
    Next();
  }
}

std::string TKesJSONInputStream::ReadString(char terminator) {
  std::string result;
  Error = true;
  while (!AtEnd()) {
    char c = Next();
    if (c == terminator) {
      Error = false;
      return result;
    }
    if (static_cast<unsigned char>(c) >= 0x80) {
      ReadUtf8Sequence(static_cast<unsigned char>(c), result);
    } else if (c == '\\') {
      ReadEscape(result);
    } else {
      result += c;
    }
  }
  return result;
}

void TKesJSONInputStream::ReadEscape(std::string& result) {
  // A backslash as the very last character escapes nothing; the string is unterminated.
  bool at_end = AtEnd();
  char c = Next();
  if (at_end) return;
  switch (c) {
    case 'b':
      result += '\b';
      return;
    case 'f':
      result += '\f';
      return;
    case 'n':
      result += '\n';
      return;
    case 'r':
      result += '\r';
      return;
    case 't':
      result += '\t';
      return;
    case 'u':
      break;
    default:
      result += c;
      return;
  }
  // An escape cut off by the end of the text leaves the string unterminated, a syntax error like
  // any other, rather than a conversion failure over characters that are not there.
  if (Text.size() - static_cast<std::size_t>(Position - 1) < 4) {
    Position += 4;
    return;
  }
  std::string digits = Text.substr(static_cast<std::size_t>(Position - 1), 4);
  Position += 4;
  unsigned unit = 0;
  for (char d : digits) {
    if (!IsHexDigit(d)) ThrowNotValidInteger("$" + digits);
    unit = unit * 16 + static_cast<unsigned>(d <= '9' ? d - '0' : (d | 0x20) - 'a' + 10);
  }
  std::string converted = platform::AnsiFromUtf16Unit(static_cast<std::uint16_t>(unit));
  if (!converted.empty()) result += converted[0];
}

void TKesJSONInputStream::ReadUtf8Sequence(unsigned char lead, std::string& result) {
  int length = Utf8SequenceLength(lead);
  if (length == 0) return;  // a stray continuation byte, or FE / FF
  std::string sequence(1, static_cast<char>(lead));
  while (static_cast<int>(sequence.size()) < length) {
    if (AtEnd()) return;
    if (!IsContinuationByte(Peek())) return;  // the byte is read again as itself
    sequence += Next();
  }
  std::string converted = platform::AnsiFromUtf8(sequence);
  result += converted.empty() ? sequence.back() : converted[0];
}

std::string TKesJSONInputStream::ReadWord(const char* word) {
  std::string result;
  Error = true;
  for (const char* w = word; *w; ++w) {
    if (AtEnd() || Peek() != *w) return result;
    result += Next();
  }
  Error = false;
  return result;
}

std::string TKesJSONInputStream::ReadBoolean() {
  return ReadWord(Peek() == 't' ? "true" : "false");
}

std::string TKesJSONInputStream::ReadNull() { return ReadWord("null"); }

namespace {

// The number grammar as states: 0 sign, 1 first digit, 2 digits, 3 point, 4 first fraction
// digit, 5 fraction digits, 6 exponent letter, 7 exponent sign, 8 first exponent digit,
// 9 exponent digits.
bool AllowedInState(int state, char c) {
  switch (state) {
    case 0:
    case 7:
      return c == '+' || c == '-';
    case 3:
      return c == '.';
    case 6:
      return c == 'e' || c == 'E';
    default:
      return c >= '0' && c <= '9';
  }
}

bool IsNumberTerminator(char c) {
  return c == ' ' || c == '}' || c == ']' || c == ',' || c == '\r' || c == '\n';
}

// The state to move to when c is not allowed in state; -1 means leave the number.
int NextState(int state, char c) {
  bool exponent = c == 'e' || c == 'E';
  if (state == 0) return 1;
  if (state == 2 && c == '.') return 3;
  if ((state == 2 || state == 5) && exponent) return 6;
  if (state == 3) return 4;
  if (state == 6) return 7;
  if (state == 7) return 8;
  return IsNumberTerminator(c) ? -1 : state;
}

bool IsFinalState(int state) {
  return state == 0 || state == 2 || state == 3 || state == 5 || state == 9;
}

}  // namespace

std::string TKesJSONInputStream::ReadNumber() {
  std::string result;
  int state = 0;
  while (!AtEnd()) {
    char c = Peek();
    if (AllowedInState(state, c)) {
      result += Next();
      if (state != 2 && state != 5 && state != 9) ++state;
      continue;
    }
    int next = NextState(state, c);
    if (next < 0) break;
    state = next;
    if (!AllowedInState(state, c)) {
      Error = true;
      return result;
    }
  }
  if (!IsFinalState(state)) Error = true;
  return result;
}

// --- TKesJSONOutputStream ---

void TKesJSONOutputStream::NewLine() {
  if (Pretty && !Text.empty()) Text += "\r\n";
}

void TKesJSONOutputStream::Indent() {
  if (Pretty && !Text.empty()) Text.append(static_cast<std::size_t>(Level), ' ');
}

}  // namespace vp
