// The document model: values, emptiness and access by key.
#include "json/KesJSON.h"

#include <limits>

#include "platform/CodePage.h"

namespace vp {
namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "$" and one or more hex digits; the magnitude saturates just past the 32-bit range.
std::int32_t HexToInteger(const std::string& text) {
  if (text.size() < 2) return 0;
  std::int64_t value = 0;
  for (std::size_t i = 1; i < text.size(); ++i) {
    int digit = HexValue(text[i]);
    if (digit < 0) return 0;
    value = value * 16 + digit;
    if (value > kInt32Max) value = kInt32Max + 1;
  }
  return static_cast<std::int32_t>(value > kInt32Max ? kInt32Max : value);
}

// A decimal number with an optional sign, fraction and exponent, truncated toward zero. It is
// worked out on the digits rather than through a double, so 2.9999999999999999 stays 2 and a huge
// exponent cannot overflow anything.
struct DecimalParts {
  bool negative = false;
  std::string digits;      // integer and fraction digits, leading zeros stripped
  std::int64_t point = 0;  // how many of digits stand before the decimal point (may be <0 or >size)
};

bool SplitDecimal(const std::string& text, DecimalParts& parts) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) parts.negative = text[i++] == '-';
  std::size_t mantissa_digits = 0;
  std::int64_t integer_digits = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i, ++mantissa_digits, ++integer_digits)
    parts.digits += text[i];
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && IsDigit(text[i]); ++i, ++mantissa_digits) parts.digits += text[i];
  }
  if (mantissa_digits == 0) return false;
  std::int64_t exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool exponent_negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) exponent_negative = text[i++] == '-';
    if (i == text.size() || !IsDigit(text[i])) return false;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
      // Far past any digit count a text can hold; saturating keeps the sum below in range.
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (exponent_negative) exponent = -exponent;
  }
  if (i != text.size()) return false;
  std::size_t zeros = parts.digits.find_first_not_of('0');
  if (zeros == std::string::npos) zeros = parts.digits.size();
  parts.digits.erase(0, zeros);
  parts.point = integer_digits - static_cast<std::int64_t>(zeros) + exponent;
  return true;
}

std::int32_t DecimalToInteger(const std::string& text) {
  DecimalParts parts;
  if (!SplitDecimal(text, parts) || parts.digits.empty() || parts.point <= 0) return 0;
  // The first digit is not 0, so eleven or more integer digits are beyond the 32-bit range.
  std::int64_t value = kInt32Max + 1;
  if (parts.point <= 10) {
    value = 0;
    for (std::int64_t i = 0; i < parts.point; ++i) {
      auto index = static_cast<std::size_t>(i);
      value = value * 10 + (index < parts.digits.size() ? parts.digits[index] - '0' : 0);
    }
  }
  if (parts.negative) return static_cast<std::int32_t>(value > -kInt32Min ? kInt32Min : -value);
  return static_cast<std::int32_t>(value > kInt32Max ? kInt32Max : value);
}

}  // namespace

// --- TKesJSONField ---

bool TKesJSONField::IsEmpty() const {
  switch (Kind) {
    case jkString:
      return Value.empty();
    case jkNumber:
      return AsInteger() == 0;
    case jkBoolean:
      return !AsBoolean();
    case jkNull:
      return false;
  }
  return false;
}

std::int32_t TKesJSONField::AsInteger() const {
  if (Value.empty()) return 0;
  if (Value[0] == '$') return HexToInteger(Value);
  return DecimalToInteger(Value);
}

void TKesJSONField::SetAsBoolean(bool value) {
  Value = value ? "true" : "false";
  Kind = jkBoolean;
}

void TKesJSONField::SetAsInteger(std::int32_t value) {
  Value = std::to_string(value);
  Kind = jkNumber;
}

void TKesJSONField::SetAsString(const std::string& value) {
  Value = value;
  Kind = jkString;
}

// --- TKesJSONObjectArray ---

TKesJSONObjectArray::~TKesJSONObjectArray() { Clear(); }

void TKesJSONObjectArray::Clear() {
  for (auto& item : Items) item.reset();
  Items.clear();
}

bool TKesJSONObjectArray::AnyChildNotEmpty() const {
  for (const auto& item : Items) {
    if (!item->IsEmpty()) return true;
  }
  return false;
}

// --- TKesJSONObject ---

bool TKesJSONObject::IsEmpty() const { return !AnyChildNotEmpty(); }

int TKesJSONObject::IndexOf(const std::string& name) const {
  std::string wanted = platform::AnsiUpperCase(name);
  for (std::size_t i = 0; i < Items.size(); ++i) {
    if (platform::AnsiUpperCase(Items[i]->Name) == wanted) return static_cast<int>(i);
  }
  return -1;
}

const TKesJSONField* TKesJSONObject::FindField(const std::string& name) const {
  int index = IndexOf(name);
  if (index < 0) return nullptr;
  return dynamic_cast<const TKesJSONField*>(Items[static_cast<std::size_t>(index)].get());
}

TKesJSONField& TKesJSONObject::FieldByName(const std::string& name) {
  int index = IndexOf(name);
  if (index < 0) {
    auto field = std::make_unique<TKesJSONField>();
    field->Name = name;
    Items.push_back(std::move(field));
    return static_cast<TKesJSONField&>(*Items.back());
  }
  auto& slot = Items[static_cast<std::size_t>(index)];
  if (auto* field = dynamic_cast<TKesJSONField*>(slot.get())) return *field;
  auto field = std::make_unique<TKesJSONField>();
  field->Name = slot->Name;
  slot = std::move(field);
  return static_cast<TKesJSONField&>(*slot);
}

bool TKesJSONObject::GetBoolean(const std::string& name, bool default_value) const {
  const TKesJSONField* field = FindField(name);
  return field ? field->AsBoolean() : default_value;
}

std::int32_t TKesJSONObject::GetInteger(const std::string& name, std::int32_t default_value) const {
  const TKesJSONField* field = FindField(name);
  return field ? field->AsInteger() : default_value;
}

std::string TKesJSONObject::GetString(const std::string& name,
                                      const std::string& default_value) const {
  const TKesJSONField* field = FindField(name);
  return field ? field->AsString() : default_value;
}

}  // namespace vp
