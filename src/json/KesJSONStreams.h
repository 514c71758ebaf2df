// The reading cursor and the writing buffer that JSON nodes read themselves from and write
// themselves into.
#pragma once

#include <cstdint>
#include <string>

namespace vp {

// Containers nested deeper than this fail the parse: each level is one native stack frame, and a
// hostile file of a few kilobytes of "[" must not exhaust the stack. The settings nest one level.
inline constexpr int kMaxJSONNestingDepth = 512;

// The platform's integer-conversion failure, raised by a \u escape that is not four hex digits.
inline constexpr const char* kMsgNotValidInteger = "'%s' is not a valid integer value";

class TKesJSONInputStream {
 public:
  std::string Text;
  // Index of the next character, counted from 1; 0 until SetText.
  std::int32_t Position = 0;
  // Set by a reading step that fails; every step after it stops.
  bool Error = false;
  // Containers open around the cursor; see kMaxJSONNestingDepth.
  int Depth = 0;

  void SetText(const std::string& text);
  bool AtEnd() const;
  // The character at Position, or 0 at the end.
  char Peek() const;
  // Peek, then one step on (also at the end).
  char Next();
  // Skips tab, LF, CR and space, nothing else.
  void SkipWhitespace();

  // Reads up to and including terminator, resolving escapes and UTF-8 sequences into the ANSI code
  // page. Error stays set when the text ends first. Throws ErrorKind::kConvert for a \u escape
  // whose four characters are not hexadecimal digits.
  std::string ReadString(char terminator);
  std::string ReadBoolean();
  std::string ReadNull();
  std::string ReadNumber();

 private:
  void ReadEscape(std::string& result);
  void ReadUtf8Sequence(unsigned char lead, std::string& result);
  std::string ReadWord(const char* word);
};

class TKesJSONOutputStream {
 public:
  std::string Text;
  bool Pretty = false;
  bool WriteEmpty = true;
  // Current indentation in spaces.
  std::int32_t Level = 0;

  void Write(const std::string& text) { Text += text; }
  // CR LF, only when Pretty and something has been written.
  void NewLine();
  // Level spaces, only when Pretty and something has been written.
  void Indent();
};

}  // namespace vp
