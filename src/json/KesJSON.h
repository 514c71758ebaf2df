// The program's JSON document model: named nodes, leaves holding their value as text with a kind,
// and containers owning an ordered list of children, with access by key in objects.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "json/KesJSONStreams.h"

namespace vp {

enum TKesJSONKind : std::uint8_t {
  jkString = 0,
  jkNumber = 1,
  jkBoolean = 2,
  jkNull = 3,
};

class TKesJSONNode {
 public:
  TKesJSONNode() = default;
  virtual ~TKesJSONNode() = default;
  TKesJSONNode(const TKesJSONNode&) = delete;
  TKesJSONNode& operator=(const TKesJSONNode&) = delete;

  // True when the node carries nothing worth writing.
  virtual bool IsEmpty() const { return false; }
  virtual void ReadFrom(TKesJSONInputStream& in) = 0;
  virtual void WriteTo(TKesJSONOutputStream& out) const = 0;

  // The key under which the node stands in its parent object; empty in arrays and for the root.
  std::string Name;
};

class TKesJSONField : public TKesJSONNode {
 public:
  bool IsEmpty() const override;
  void ReadFrom(TKesJSONInputStream& in) override;
  void WriteTo(TKesJSONOutputStream& out) const override;

  // True exactly when Value is "true", letter case included.
  bool AsBoolean() const { return Value == "true"; }
  // Value as a 32-bit integer: "$" and hex digits, or a decimal number truncated toward zero; 0
  // when it is neither. Values beyond the 32-bit range give its nearest end.
  std::int32_t AsInteger() const;
  const std::string& AsString() const { return Value; }
  void SetAsBoolean(bool value);
  void SetAsInteger(std::int32_t value);
  void SetAsString(const std::string& value);

  std::string Value;
  TKesJSONKind Kind = jkString;
};

class TKesJSONObjectArray : public TKesJSONNode {
 public:
  explicit TKesJSONObjectArray(bool is_array) : IsArray(is_array) {}
  ~TKesJSONObjectArray() override;

  void ReadFrom(TKesJSONInputStream& in) override;
  void WriteTo(TKesJSONOutputStream& out) const override;

  int Count() const { return static_cast<int>(Items.size()); }
  // Frees every child, first to last.
  void Clear();

  // Reads text into this container, appending to what it holds. Gives and stores 0 on success, 1
  // for an empty text, else the position of the error. Text that does not begin with "{" or "[" is
  // decoded as Base64 first. Throws ErrorKind::kConvert for a malformed \u escape.
  std::int32_t Parse(const std::string& text);
  std::string ToText(bool pretty, bool write_empty) const;
  // Throws ErrorKind::kFileOpen: Cannot open file "<path>". <system text>
  void LoadFromFile(const std::string& path);
  // Replaces the file as a whole: the old one stays intact until the new one is complete.
  // Throws ErrorKind::kFileCreate: Cannot create file "<path>". <system text>
  void SaveToFile(const std::string& path, bool pretty) const;

  std::vector<std::unique_ptr<TKesJSONNode>> Items;
  bool IsArray;
  std::int32_t ParseResult = 0;

 protected:
  // True when the writer has anything inside the brackets.
  bool HasContent(const TKesJSONOutputStream& out) const;
  bool AnyChildNotEmpty() const;
};

class TKesJSONArray : public TKesJSONObjectArray {
 public:
  TKesJSONArray() : TKesJSONObjectArray(true) {}
  bool IsEmpty() const override { return Items.empty(); }
};

// Keys match without regard to letter case (the ANSI code page's own letters included); the
// first match wins. A key whose value is an object or array reads as missing, and a setter
// replaces it, in its place, by a field: the settings never store a container.
class TKesJSONObject : public TKesJSONObjectArray {
 public:
  TKesJSONObject() : TKesJSONObjectArray(false) {}
  bool IsEmpty() const override;

  int IndexOf(const std::string& name) const;
  bool Has(const std::string& name) const { return IndexOf(name) != -1; }
  // The matching field; a new empty string field appended under name when there is none.
  TKesJSONField& FieldByName(const std::string& name);

  bool GetBoolean(const std::string& name, bool default_value) const;
  std::int32_t GetInteger(const std::string& name, std::int32_t default_value) const;
  std::string GetString(const std::string& name, const std::string& default_value) const;
  void SetBoolean(const std::string& name, bool value) { FieldByName(name).SetAsBoolean(value); }
  void SetInteger(const std::string& name, std::int32_t value) {
    FieldByName(name).SetAsInteger(value);
  }
  void SetString(const std::string& name, const std::string& value) {
    FieldByName(name).SetAsString(value);
  }

 private:
  // The first matching child when it is a field, else nullptr.
  const TKesJSONField* FindField(const std::string& name) const;
};

// A JSON object bound to a file: read once when made, written on each Save.
class TKesJsonFile : public TKesJSONObject {
 public:
  // Loads file_name when it is an existing file (a directory does not count); a parse error is
  // kept in ParseResult only. Throws what LoadFromFile throws.
  explicit TKesJsonFile(const std::string& file_name);
  void Save(bool pretty) const { SaveToFile(FileName, pretty); }

  std::string FileName;
};

}  // namespace vp
