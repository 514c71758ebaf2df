// Reading JSON text: the lenient grammar, parse positions, escapes, UTF-8 and the number syntax.
#include <gtest/gtest.h>

#include "base/Error.h"
#include "json/KesJSON.h"
#include "platform/CodePage.h"

namespace vp {
namespace {

bool IsCentralEuropean() { return platform::Utf16UnitFromAnsi('\xE8') == 0x010D; }

const TKesJSONField& FieldAt(const TKesJSONObjectArray& parent, std::size_t index) {
  return dynamic_cast<const TKesJSONField&>(*parent.Items.at(index));
}

// The value of the only element of a one-element array text.
std::string ElementOf(const std::string& text) {
  TKesJSONArray array;
  EXPECT_EQ(array.Parse(text), 0) << text;
  if (array.Count() != 1) return "<" + std::to_string(array.Count()) + " elements>";
  return FieldAt(array, 0).Value;
}

TEST(KesJSONParse, PositionsOfResults) {
  struct Row {
    const char* text;
    std::int32_t result;
    const char* why;
  } rows[] = {
      {"{}", 0, "empty object"},
      {"", 1, "empty text reads nothing"},
      {" {}", 2, "a space first takes the Base64 path; the decoded text is empty"},
      {"\xEF\xBB\xBF{\"Mode\":1}", 2, "a byte-order mark takes the Base64 path too"},
      {"{\"a\" :1}", 6, "white space between a quoted key and its colon"},
      {"{\"a\":1,}", 0, "comma before the closing brace"},
      {"{", 0, "text ends right after the bracket"},
      {"{\"a\":1,", 0, "text ends right after a comma"},
      {"[1,", 0, "the same in an array"},
      {"{}trailing", 0, "nothing after the root is looked at"},
      {"{\"abc", 7, "unterminated key: the colon test steps past the end"},
      {"{\"a\":}", 6, "a closing brace is no value"},
      {"{\"a\":1 \"b\":2}", 8, "a missing comma"},
      {"[\"a\":1]", 5, "keys have no place in arrays"},
      {"{\"a\":tru}", 9, "a word cut short"},
      {"{\"a\":truex}", 10, "a letter after the word is left to the container"},
      {"[nul", 5, "the text ends inside null"},
      {"[\"abc", 6, "unterminated string"},
      {"[1\t]", 3, "a tab after a number"},
      {"x", 2, "Base64 of one letter is empty"},
  };
  for (const Row& row : rows) {
    TKesJSONObject object;
    TKesJSONArray array;
    TKesJSONObjectArray& target =
        row.text[0] == '[' ? static_cast<TKesJSONObjectArray&>(array) : object;
    EXPECT_EQ(target.Parse(row.text), row.result) << row.why;
    EXPECT_EQ(target.ParseResult, row.result) << row.why;
  }
}

TEST(KesJSONParse, Base64TextIsDecodedFirst) {
  TKesJSONObject object;
  EXPECT_EQ(object.Parse("eyJhIjox\r\nfQ=="), 0);  // {"a":1}
  ASSERT_EQ(object.Count(), 1);
  EXPECT_EQ(object.GetInteger("a", 0), 1);
}

TEST(KesJSONParse, AppendsAndKeepsWhatWasReadBeforeAnError) {
  TKesJSONObject object;
  EXPECT_EQ(object.Parse("{\"a\":1}"), 0);
  EXPECT_NE(object.Parse("{\"b\":\"x\",\"c\":tru}"), 0);
  ASSERT_EQ(object.Count(), 3);
  EXPECT_EQ(FieldAt(object, 2).Value, "tru") << "the failed node keeps its partial value";
  EXPECT_EQ(FieldAt(object, 2).Kind, jkBoolean);
}

TEST(KesJSONParse, KeysAndNesting) {
  TKesJSONObject object;
  ASSERT_EQ(object.Parse("{Mode :1,\"Dup\":[true,{\"x\":null}],\"dup\":\"s\",a\\:b:2}"), 0);
  ASSERT_EQ(object.Count(), 4);
  EXPECT_EQ(object.Items[0]->Name, "Mode ") << "unquoted keys read up to the colon";
  EXPECT_EQ(object.Items[3]->Name, "a:b") << "escapes resolve in unquoted keys";
  auto& array = dynamic_cast<TKesJSONArray&>(*object.Items[1]);
  ASSERT_EQ(array.Count(), 2);
  EXPECT_EQ(array.Items[0]->Name, "");
  auto& inner = dynamic_cast<TKesJSONObject&>(*array.Items[1]);
  EXPECT_EQ(FieldAt(inner, 0).Kind, jkNull);
  EXPECT_EQ(FieldAt(inner, 0).Value, "null");
  EXPECT_EQ(object.Items[2]->Name, "dup") << "duplicate keys are kept";
}

TEST(KesJSONParse, NumberSyntax) {
  EXPECT_EQ(ElementOf("[007]"), "007");
  EXPECT_EQ(ElementOf("[-1.25E+3 ]"), "-1.25E+3");
  EXPECT_EQ(ElementOf("[1\r\n]"), "1");
  EXPECT_EQ(ElementOf("[1]"), "1");
  TKesJSONInputStream in;
  in.SetText("12");
  EXPECT_EQ(in.ReadNumber(), "12");
  EXPECT_FALSE(in.Error) << "the end of the text ends a number";
  TKesJSONArray cut;
  EXPECT_EQ(cut.Parse("[1"), 3) << "but the array still wants its bracket";
  for (const char* bad :
       {"[1.]", "[1e]", "[1e+]", "[1e+", "[-]", "[1.e5]", "[1:]", "[--1]", "[1e5e]", "[0x1]"}) {
    TKesJSONArray array;
    EXPECT_NE(array.Parse(bad), 0) << bad;
  }
}

TEST(KesJSONParse, Escapes) {
  EXPECT_EQ(ElementOf(R"(["\b\f\n\r\t\"\\\/\q"])"), "\b\f\n\r\t\"\\/q");
  EXPECT_EQ(ElementOf(R"(["\u0041\u0000"])"), std::string("A\0", 2));
  if (!IsCentralEuropean()) GTEST_SKIP() << "the ANSI code page is not Windows-1250";
  EXPECT_EQ(ElementOf(R"(["\u010d\u010D"])"), "\xE8\xE8");
  EXPECT_EQ(ElementOf(R"(["\u00e8"])"), "?") << "a letter the code page lacks";
  EXPECT_EQ(ElementOf(R"(["\ud83d\ude00"])"), "??") << "surrogates convert one by one";
}

TEST(KesJSONParse, MalformedUnicodeEscapeRaisesConversionError) {
  TKesJSONArray array;
  try {
    array.Parse(R"(["\u12G4"])");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kConvert);
    EXPECT_STREQ(e.what(), "'$12G4' is not a valid integer value");
  }
  try {
    array.Parse(R"(["\u12"])");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "'$12\"]' is not a valid integer value");
  }
}

TEST(KesJSONParse, UnicodeEscapeCutOffByTheEndIsUnterminated) {
  for (const char* text : {"[\"\\u12", "[\"\\u", "[\"\\"}) {
    TKesJSONArray array;
    EXPECT_NE(array.Parse(text), 0) << text;
  }
}

TEST(KesJSONParse, Utf8InsideStrings) {
  if (!IsCentralEuropean()) GTEST_SKIP() << "the ANSI code page is not Windows-1250";
  EXPECT_EQ(ElementOf("[\"\xC4\x8D\xE2\x82\xAC\"]"), "\xE8\x80") << "c caron, euro sign";
  EXPECT_EQ(ElementOf("[\"\xE8"
                      "a\"]"),
            "a")
      << "a raw code-page letter is lost";
  EXPECT_EQ(ElementOf("[\"\x80\xFF"
                      "b\"]"),
            "b")
      << "stray continuation byte, FF";
  EXPECT_EQ(ElementOf("[\"\xC0\x80\"]"), "\x80") << "no conversion: the last byte stays";
  EXPECT_EQ(ElementOf("[\"\xF8\x88\x80\x80\x80\"]"), "\x80") << "five-byte form";
  EXPECT_EQ(ElementOf("[\"\xF0\x9F\x98\x80\"]"), "?") << "beyond the BMP";

  TKesJSONObject object;
  ASSERT_EQ(object.Parse("{\"\xC4\x8D\":1}"), 0);
  EXPECT_EQ(object.Items[0]->Name, "\xE8") << "keys decode UTF-8 too";

  TKesJSONArray cut;
  EXPECT_NE(cut.Parse("[\"\xC4"), 0) << "the text ends inside a sequence";
}

TEST(KesJSONParse, NestingIsBounded) {
  auto nested = [](int depth) {
    return std::string(static_cast<std::size_t>(depth), '[') +
           std::string(static_cast<std::size_t>(depth), ']');
  };
  TKesJSONArray deepest_allowed;
  EXPECT_EQ(deepest_allowed.Parse(nested(kMaxJSONNestingDepth)), 0);
  TKesJSONArray too_deep;
  EXPECT_EQ(too_deep.Parse(nested(kMaxJSONNestingDepth + 1)), kMaxJSONNestingDepth + 2)
      << "fails just after the bracket that opens one level too many";
  TKesJSONArray hostile;
  EXPECT_NE(hostile.Parse(std::string(1'000'000, '[')), 0);
}

}  // namespace
}  // namespace vp
