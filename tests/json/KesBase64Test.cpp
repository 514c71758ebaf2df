// Tolerant Base64 decoding.
#include <gtest/gtest.h>

#include "json/KesBase64.h"

namespace vp {
namespace {

struct Vector {
  const char* encoded;
  const char* plain;
};

// RFC 4648, section 10.
constexpr Vector kRfc4648Vectors[] = {
    {"", ""},
    {"Zg==", "f"},
    {"Zm8=", "fo"},
    {"Zm9v", "foo"},
    {"Zm9vYg==", "foob"},
    {"Zm9vYmE=", "fooba"},
    {"Zm9vYmFy", "foobar"},
};

TEST(KesBase64Decode, RfcVectorsWithAndWithoutPadding) {
  for (const Vector& v : kRfc4648Vectors) {
    std::string padded = v.encoded;
    std::string unpadded = padded.substr(0, padded.find('='));
    EXPECT_EQ(TKesBase64::Decode(padded), v.plain) << padded;
    EXPECT_EQ(TKesBase64::Decode(unpadded), v.plain) << unpadded;
  }
}

TEST(KesBase64Decode, SkipsEverythingOutsideTheAlphabet) {
  EXPECT_EQ(TKesBase64::Decode("Zm9v\r\nYm Fy"), "foobar");
  EXPECT_EQ(TKesBase64::Decode("Z-m_9\x80v"), "foo");  // URL-safe letters are foreign too
  EXPECT_EQ(TKesBase64::Decode("Z"), "");
}

TEST(KesBase64Decode, PaddingDoesNotEndTheStream) {
  // "Zg==" leaves four bits over; "Zg==" again continues the same bit stream.
  EXPECT_EQ(TKesBase64::Decode("Zg==Zg=="), "f\x06`");
  EXPECT_EQ(TKesBase64::Decode("Zm8=Zm8="), "fo\x19\x9b");
}

TEST(KesBase64Decode, KeepsZeroBytes) {
  EXPECT_EQ(TKesBase64::Decode("AAEA"), std::string("\0\1\0", 3));
}

TEST(KesBase64Decode, DecodeStreamStartsAtTheSourcePosition) {
  TKesBase64 decoder;
  TKesBase64::MemoryStream source{"xxxxZm9v", 4};
  TKesBase64::MemoryStream destination{"ab", 2};
  decoder.DecodeStream(source, destination);
  EXPECT_EQ(destination.Bytes, "abfoo");
  EXPECT_EQ(source.Position, source.Bytes.size());
}

}  // namespace
}  // namespace vp
