// The document model: typed values, emptiness, ownership and access by key.
#include <gtest/gtest.h>

#include <climits>

#include "json/KesJSON.h"

namespace vp {
namespace {

TKesJSONField& AddField(TKesJSONObjectArray& parent, const std::string& name,
                        const std::string& value, TKesJSONKind kind) {
  auto field = std::make_unique<TKesJSONField>();
  field->Name = name;
  field->Value = value;
  field->Kind = kind;
  parent.Items.push_back(std::move(field));
  return static_cast<TKesJSONField&>(*parent.Items.back());
}

std::int32_t IntegerOf(const std::string& value) {
  TKesJSONField field;
  field.Value = value;
  return field.AsInteger();
}

TEST(KesJSONField, AsIntegerReadsDecimalAndHex) {
  struct Row {
    const char* value;
    std::int32_t expected;
    const char* why;
  } rows[] = {
      {"1e3", 1000, "exponent"},
      {"-2.5", -2, "truncated toward zero"},
      {"-0.9", 0, "truncated toward zero"},
      {"2.9999999999999999999", 2, "worked out on the digits, not rounded by a double"},
      {"$ff", 255, "hex"},
      {"$7FFFFFFF", INT32_MAX, "largest hex"},
      {"abc", 0, "letters"},
      {"", 0, "empty"},
      {"$", 0, "dollar without digits"},
      {"$fg", 0, "not a hex digit"},
      {"007", 7, "leading zeros"},
      {"0.05e2", 5, "fraction moved by the exponent"},
      {"123e-2", 1, "negative exponent"},
      {"+4", 4, "plus sign"},
      {"1e", 0, "exponent without digits"},
      {" 1", 0, "no blanks around the number"},
      {"-2147483648", INT32_MIN, "smallest"},
      {"2147483647", INT32_MAX, "largest"},
      {"2147483648", INT32_MAX, "past the range: clamped"},
      {"-2147483649", INT32_MIN, "past the range: clamped"},
      {"$100000000", INT32_MAX, "hex past the range: clamped"},
      {"1e999999999999999999", INT32_MAX, "huge exponent"},
      {"0e999999999999999999", 0, "zero with a huge exponent"},
      {"1e-999999999999999999", 0, "tiny"},
  };
  for (const Row& row : rows) EXPECT_EQ(IntegerOf(row.value), row.expected) << row.why;
}

TEST(KesJSONField, SettersSetValueAndKind) {
  TKesJSONField field;
  EXPECT_EQ(field.Kind, jkString);
  field.SetAsInteger(-12);
  EXPECT_EQ(field.Value, "-12");
  EXPECT_EQ(field.Kind, jkNumber);
  field.SetAsInteger(INT32_MIN);
  EXPECT_EQ(field.Value, "-2147483648");
  field.SetAsBoolean(false);
  EXPECT_EQ(field.Value, "false");
  EXPECT_EQ(field.Kind, jkBoolean);
  field.SetAsString("x");
  EXPECT_EQ(field.Kind, jkString);
  EXPECT_EQ(field.AsString(), "x");
}

TEST(KesJSONField, AsBooleanIsExactlyLowerCaseTrue) {
  TKesJSONField field;
  field.Value = "true";
  EXPECT_TRUE(field.AsBoolean());
  for (const char* text : {"True", "TRUE", "1", "true ", ""}) {
    field.Value = text;
    EXPECT_FALSE(field.AsBoolean()) << text;
  }
}

TEST(KesJSONIsEmpty, FollowsTheKindOfEachNode) {
  TKesJSONObject root;
  EXPECT_TRUE(root.IsEmpty()) << "an object without children";
  AddField(root, "f", "false", jkBoolean);
  EXPECT_TRUE(root.IsEmpty()) << "only child is a false boolean";
  AddField(root, "n", "0.5", jkNumber);
  EXPECT_TRUE(root.IsEmpty()) << "0.5 reads as integer 0";
  AddField(root, "z", "null", jkNull);
  EXPECT_FALSE(root.IsEmpty()) << "a null field is never empty";

  TKesJSONArray array;
  EXPECT_TRUE(array.IsEmpty());
  AddField(array, "", "", jkString);
  EXPECT_FALSE(array.IsEmpty()) << "an array with one empty element";

  TKesJSONObjectArray plain(false);
  EXPECT_FALSE(plain.IsEmpty());
}

TEST(KesJSONObject, MissingKeyGivesDefaultAndAddsNothing) {
  TKesJSONObject root;
  EXPECT_EQ(root.GetInteger("Mode", 7), 7);
  EXPECT_EQ(root.GetString("Mode", "d"), "d");
  EXPECT_TRUE(root.GetBoolean("Mode", true));
  EXPECT_EQ(root.Count(), 0);
  TKesJSONField& field = root.FieldByName("Mode");
  ASSERT_EQ(root.Count(), 1);
  EXPECT_EQ(&field, root.Items[0].get());
  EXPECT_EQ(field.Name, "Mode");
  EXPECT_EQ(field.Value, "");
  EXPECT_EQ(field.Kind, jkString);
}

TEST(KesJSONObject, SettersMatchWithoutRegardToCase) {
  TKesJSONObject root;
  AddField(root, "MODE", "1", jkNumber);
  root.SetString("mode", "x");
  ASSERT_EQ(root.Count(), 1);
  EXPECT_EQ(root.Items[0]->Name, "MODE") << "the stored name keeps its letter case";
  EXPECT_EQ(root.GetString("Mode", ""), "x");

  TKesJSONObject other;
  other.SetInteger("mode", 3);
  ASSERT_EQ(other.Count(), 1);
  EXPECT_EQ(other.Items[0]->Name, "mode");
}

TEST(KesJSONObject, FirstOfCaseVariantsWins) {
  TKesJSONObject root;
  AddField(root, "Key", "first", jkString);
  AddField(root, "KEY", "second", jkString);
  EXPECT_EQ(root.IndexOf("key"), 0);
  EXPECT_EQ(root.IndexOf("KEY"), 0);
  EXPECT_EQ(root.GetString("KEY", ""), "first");
  root.SetString("KEY", "changed");
  EXPECT_EQ(static_cast<TKesJSONField&>(*root.Items[1]).Value, "second");
  EXPECT_EQ(root.IndexOf("Ke y"), -1) << "spaces must agree";
  EXPECT_FALSE(root.Has("Keys"));
}

TEST(KesJSONObject, AccentedNamesMatchTheirCapitals) {
  TKesJSONObject root;
  AddField(root,
           "\xC8"
           "ASA",
           "1", jkNumber);  // C caron, in Windows-1250
  if (root.IndexOf("\xE8"
                   "asa") != 0)
    GTEST_SKIP() << "the ANSI code page is not Windows-1250";
  EXPECT_TRUE(
      root.Has("\xE8"
               "ASA"));
}

TEST(KesJSONObject, ContainerUnderAKeyReadsAsMissingAndIsReplacedOnSet) {
  TKesJSONObject root;
  auto nested = std::make_unique<TKesJSONObject>();
  nested->Name = "Mode";
  AddField(*nested, "x", "5", jkNumber);
  root.Items.push_back(std::move(nested));
  AddField(root, "after", "1", jkNumber);

  EXPECT_EQ(root.GetInteger("mode", 9), 9);
  EXPECT_EQ(root.GetString("mode", "d"), "d");
  EXPECT_TRUE(root.Has("mode"));
  root.SetInteger("mode", 2);
  ASSERT_EQ(root.Count(), 2);
  auto* field = dynamic_cast<TKesJSONField*>(root.Items[0].get());
  ASSERT_NE(field, nullptr) << "replaced in its place";
  EXPECT_EQ(field->Name, "Mode");
  EXPECT_EQ(field->Value, "2");
}

// Counts its live instances, to see that containers free their children.
class CountedField : public TKesJSONField {
 public:
  explicit CountedField(int& live) : live_(live) { ++live_; }
  ~CountedField() override { --live_; }

 private:
  int& live_;
};

TEST(KesJSONObjectArray, FreesItsWholeSubtree) {
  int live = 0;
  {
    TKesJSONObject root;
    auto array = std::make_unique<TKesJSONArray>();
    array->Items.push_back(std::make_unique<CountedField>(live));
    array->Items.push_back(std::make_unique<CountedField>(live));
    root.Items.push_back(std::move(array));
    root.Items.push_back(std::make_unique<CountedField>(live));
    EXPECT_EQ(live, 3);
  }
  EXPECT_EQ(live, 0);

  TKesJSONArray array;
  array.Items.push_back(std::make_unique<CountedField>(live));
  array.Clear();
  EXPECT_EQ(live, 0);
  EXPECT_EQ(array.Count(), 0);
}

}  // namespace
}  // namespace vp
