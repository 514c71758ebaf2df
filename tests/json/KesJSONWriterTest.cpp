// Writing JSON text: layout, escapes, empty values and round trips.
#include <gtest/gtest.h>

#include "json/KesJSON.h"
#include "platform/CodePage.h"

namespace vp {
namespace {

bool IsCentralEuropean() { return platform::Utf16UnitFromAnsi('\xE8') == 0x010D; }

// {"a":1,"b":[true,"x"],"c":{}} built node by node.
void BuildSample(TKesJSONObject& root) {
  root.SetInteger("a", 1);
  auto array = std::make_unique<TKesJSONArray>();
  array->Name = "b";
  auto flag = std::make_unique<TKesJSONField>();
  flag->SetAsBoolean(true);
  array->Items.push_back(std::move(flag));
  auto text = std::make_unique<TKesJSONField>();
  text->SetAsString("x");
  array->Items.push_back(std::move(text));
  root.Items.push_back(std::move(array));
  auto object = std::make_unique<TKesJSONObject>();
  object->Name = "c";
  root.Items.push_back(std::move(object));
}

std::string StringWritten(const std::string& value) {
  TKesJSONArray array;
  auto field = std::make_unique<TKesJSONField>();
  field->SetAsString(value);
  array.Items.push_back(std::move(field));
  std::string text = array.ToText(false, true);
  return text.substr(1, text.size() - 2);
}

TEST(KesJSONWrite, IndentedLayoutIsByteExact) {
  TKesJSONObject root;
  BuildSample(root);
  EXPECT_EQ(root.ToText(true, true),
            "{\r\n"
            "  \"a\":1,\r\n"
            "  \"b\":\r\n"
            "  [\r\n"
            "    true,\r\n"
            "    \"x\"\r\n"
            "  ],\r\n"
            "  \"c\":\r\n"
            "  {\r\n"
            "\r\n"
            "  }\r\n"
            "}");
}

TEST(KesJSONWrite, CompactLayoutAndEmptyValues) {
  TKesJSONObject root;
  BuildSample(root);
  EXPECT_EQ(root.ToText(false, true), R"({"a":1,"b":[true,"x"],"c":{}})");
  EXPECT_EQ(root.ToText(false, false), R"({"a":1,"b":[true,"x"]})");

  TKesJSONObject empty;
  empty.SetString("s", "");
  empty.SetInteger("n", 0);
  EXPECT_EQ(empty.ToText(false, false), "{}");
  EXPECT_EQ(empty.ToText(true, false), "{}");

  TKesJSONArray array;
  ASSERT_EQ(array.Parse(R"([0,"",false,{}])"), 0);
  EXPECT_EQ(array.ToText(false, false), R"([0,"",false,{}])") << "array elements always written";
}

TEST(KesJSONWrite, EscapesStringValues) {
  EXPECT_EQ(StringWritten("\b\t\n\f\r\"/\\"), R"("\b\t\n\f\r\"\/\\")");
  EXPECT_EQ(StringWritten(std::string("\x01\x1f\x7f\0 ~", 6)), R"("\u0001\u001f\u007f\u0000 ~")");
  EXPECT_EQ(StringWritten("https://h/p"), R"("https:\/\/h\/p")");
  if (!IsCentralEuropean()) GTEST_SKIP() << "the ANSI code page is not Windows-1250";
  EXPECT_EQ(StringWritten("\xE8\x80\x81"), R"("\u010d\u20ac\u0081")");
}

TEST(KesJSONWrite, NamesAndOtherKindsAreVerbatim) {
  TKesJSONObject root;
  root.SetString("a\"b/", "v");
  auto number = std::make_unique<TKesJSONField>();
  number->Name = "n";
  number->Value = "1e3";
  number->Kind = jkNumber;
  root.Items.push_back(std::move(number));
  EXPECT_EQ(root.ToText(false, true), R"({"a"b/":"v","n":1e3})");
  TKesJSONObject back;
  EXPECT_NE(back.Parse(root.ToText(false, true)), 0) << "an unescaped quote in a name breaks it";
}

TEST(KesJSONWrite, EveryCodePageCharacterRoundTrips) {
  std::string all;
  for (int byte = 1; byte < 256; ++byte) all += static_cast<char>(byte);
  all += '\0';
  std::string written = StringWritten(all);
  for (char c : written) {
    EXPECT_TRUE(c >= 32 && c <= 126) << "the writer leaves only printable ASCII";
  }
  TKesJSONArray back;
  ASSERT_EQ(back.Parse("[" + written + "]"), 0);
  ASSERT_EQ(back.Count(), 1);
  if (!IsCentralEuropean()) GTEST_SKIP() << "the ANSI code page is not Windows-1250";
  EXPECT_EQ(dynamic_cast<TKesJSONField&>(*back.Items[0]).Value, all);
}

TEST(KesJSONWrite, ReadingWhatWasWrittenGivesTheSameText) {
  const char* text = R"({"a":1,"b":[true,"x",null,[],{"d":-2.5e1}],"c":{"e":"\/\n"},"f":false})";
  TKesJSONObject first;
  ASSERT_EQ(first.Parse(text), 0);
  EXPECT_EQ(first.ToText(false, true), text);
  TKesJSONObject second;
  ASSERT_EQ(second.Parse(first.ToText(true, true)), 0);
  EXPECT_EQ(second.ToText(true, true), first.ToText(true, true));
  EXPECT_EQ(second.ToText(false, true), text);
}

}  // namespace
}  // namespace vp
