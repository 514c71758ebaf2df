// JSON text to tree and back: each node reads and writes itself, and the containers bind that to
// texts and files.
#include <cstring>

#include "json/KesBase64.h"
#include "json/KesJSON.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"

namespace vp {
namespace {

// Beyond this the 32-bit Position could not count the text (and the reader's few steps past the
// end must not overflow either). No real document comes near it.
constexpr std::size_t kMaxJSONTextLength = 0x7FFFFF00;

// Counts one container level for as long as its ReadFrom runs.
class NestingLevel {
 public:
  explicit NestingLevel(TKesJSONInputStream& in) : in_(in) { ++in_.Depth; }
  ~NestingLevel() { --in_.Depth; }
  NestingLevel(const NestingLevel&) = delete;
  NestingLevel& operator=(const NestingLevel&) = delete;
  bool TooDeep() const { return in_.Depth > kMaxJSONNestingDepth; }

 private:
  TKesJSONInputStream& in_;
};

bool StartsNumber(char c) { return c != '\0' && std::strchr("-1234567890", c) != nullptr; }

void AppendUnicodeEscape(std::string& out, std::uint16_t unit) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 0xF];
}

// The two-character escape of c, or nullptr when it has none.
const char* ShortEscape(char c) {
  switch (c) {
    case '\b':
      return "\\b";
    case '\t':
      return "\\t";
    case '\n':
      return "\\n";
    case '\f':
      return "\\f";
    case '\r':
      return "\\r";
    case '"':
      return "\\\"";
    case '/':
      return "\\/";
    case '\\':
      return "\\\\";
    default:
      return nullptr;
  }
}

// Every character outside printable ASCII becomes a \u escape, so the text is pure ASCII.
std::string EscapeString(const std::string& value) {
  std::string out;
  out.reserve(value.size() + 2);
  for (char c : value) {
    auto byte = static_cast<unsigned char>(c);
    if (const char* escape = ShortEscape(c)) {
      out += escape;
    } else if (byte < 32 || byte > 126) {
      AppendUnicodeEscape(out, platform::Utf16UnitFromAnsi(c));
    } else {
      out += c;
    }
  }
  return out;
}

// Cuts at the first NUL and ends every line, the last one too, with CR LF, whatever line breaks
// (CR LF, lone CR, lone LF) the text had.
std::string WithCrLfLines(const std::string& text) {
  std::size_t end = text.find('\0');
  if (end == std::string::npos) end = text.size();
  std::string out;
  out.reserve(end + end / 16 + 2);
  bool line_open = false;
  for (std::size_t i = 0; i < end; ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < end && text[i + 1] == '\n') ++i;
      out += "\r\n";
      line_open = false;
    } else {
      out += c;
      line_open = true;
    }
  }
  if (line_open) out += "\r\n";
  return out;
}

}  // namespace

// --- reading ---

void TKesJSONField::ReadFrom(TKesJSONInputStream& in) {
  in.SkipWhitespace();
  char c = in.Peek();
  if (c == '"') {
    in.Next();
    Kind = jkString;
    Value = in.ReadString('"');
  } else if (c == 't' || c == 'f') {
    Kind = jkBoolean;
    Value = in.ReadBoolean();
  } else if (c == 'n') {
    Kind = jkNull;
    Value = in.ReadNull();
  } else if (StartsNumber(c)) {
    Kind = jkNumber;
    Value = in.ReadNumber();
  } else {
    in.Error = true;
  }
}

void TKesJSONObjectArray::ReadFrom(TKesJSONInputStream& in) {
  const char open = IsArray ? '[' : '{';
  const char close = IsArray ? ']' : '}';
  if (in.Next() != open) {
    in.Error = true;
    return;
  }
  NestingLevel level(in);
  if (level.TooDeep()) {
    in.Error = true;
    return;
  }
  while (!in.AtEnd() && !in.Error) {
    in.SkipWhitespace();
    if (in.Peek() == close) {
      in.Next();
      return;
    }
    std::string key;
    if (!IsArray && in.Peek() == '"') {
      in.Next();
      key = in.ReadString('"');
      // No white space may stand between a quoted key and its colon.
      if (in.Next() != ':') {
        in.Error = true;
        return;
      }
    } else if (!IsArray) {
      key = in.ReadString(':');
    }
    in.SkipWhitespace();
    if (in.Error || in.AtEnd()) return;

    std::unique_ptr<TKesJSONNode> child;
    if (in.Peek() == '{') {
      child = std::make_unique<TKesJSONObject>();
    } else if (in.Peek() == '[') {
      child = std::make_unique<TKesJSONArray>();
    } else {
      child = std::make_unique<TKesJSONField>();
    }
    child->Name = std::move(key);
    Items.push_back(std::move(child));
    Items.back()->ReadFrom(in);
    if (in.Error) return;

    in.SkipWhitespace();
    if (in.Peek() == close) {
      in.Next();
      return;
    }
    if (in.Peek() == ',') {
      in.Next();
    } else {
      in.Error = true;
    }
  }
}

std::int32_t TKesJSONObjectArray::Parse(const std::string& text) {
  if (text.empty()) return ParseResult = 1;
  if (text.size() > kMaxJSONTextLength) return ParseResult = 1;
  TKesJSONInputStream in;
  if (text[0] == '{' || text[0] == '[') {
    in.SetText(text);
  } else {
    in.SetText(TKesBase64::Decode(text));
  }
  ReadFrom(in);
  return ParseResult = in.Error ? in.Position : 0;
}

// --- writing ---

void TKesJSONField::WriteTo(TKesJSONOutputStream& out) const {
  std::string text;
  if (!Name.empty()) text = "\"" + Name + "\":";
  if (Kind == jkString) {
    text += "\"" + EscapeString(Value) + "\"";
  } else {
    text += Value;
  }
  out.Indent();
  out.Write(text);
}

bool TKesJSONObjectArray::HasContent(const TKesJSONOutputStream& out) const {
  return out.WriteEmpty || IsArray || AnyChildNotEmpty();
}

void TKesJSONObjectArray::WriteTo(TKesJSONOutputStream& out) const {
  const bool content = HasContent(out);
  if (!Name.empty()) {
    out.Indent();
    out.Write("\"" + Name + "\":");
    if (content) out.NewLine();
  }
  if (content) out.Indent();
  out.Write(IsArray ? "[" : "{");
  if (content) {
    out.NewLine();
    out.Level += 2;
    bool first = true;
    for (const auto& item : Items) {
      if (!out.WriteEmpty && !IsArray && item->IsEmpty()) continue;
      if (!first) {
        out.Write(",");
        out.NewLine();
      }
      first = false;
      item->WriteTo(out);
    }
    out.NewLine();
    out.Level -= 2;
    out.Indent();
  }
  out.Write(IsArray ? "]" : "}");
}

std::string TKesJSONObjectArray::ToText(bool pretty, bool write_empty) const {
  TKesJSONOutputStream out;
  out.Pretty = pretty;
  out.WriteEmpty = write_empty;
  WriteTo(out);
  return out.Text;
}

// --- files ---

void TKesJSONObjectArray::LoadFromFile(const std::string& path) {
  Parse(WithCrLfLines(platform::ReadFileBytes(path)));
}

void TKesJSONObjectArray::SaveToFile(const std::string& path, bool pretty) const {
  // Replaced rather than rewritten in place: a crash or a full disk halfway through must leave the
  // old document, not a truncated one that loses every setting after the cut.
  platform::ReplaceFileBytes(path, WithCrLfLines(ToText(pretty, true)));
}

TKesJsonFile::TKesJsonFile(const std::string& file_name) : FileName(file_name) {
  if (platform::FileExists(FileName)) LoadFromFile(FileName);
}

}  // namespace vp
