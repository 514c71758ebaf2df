// URL splitting and percent decoding.
#include <gtest/gtest.h>

#include "http/UrlSplit.h"

namespace vp {
namespace {

struct SplitCase {
  const char* description;
  const char* url;
  UrlParts expected;
};

class UrlSplitTable : public testing::TestWithParam<SplitCase> {};

TEST_P(UrlSplitTable, SplitsIntoParts) {
  const SplitCase& c = GetParam();
  UrlParts got = SplitUrl(c.url);
  EXPECT_EQ(got.scheme, c.expected.scheme) << c.description;
  EXPECT_EQ(got.user, c.expected.user) << c.description;
  EXPECT_EQ(got.host, c.expected.host) << c.description;
  EXPECT_EQ(got.port, c.expected.port) << c.description;
  EXPECT_EQ(got.path, c.expected.path) << c.description;
  EXPECT_EQ(got.document, c.expected.document) << c.description;
  EXPECT_EQ(got.query, c.expected.query) << c.description;
  EXPECT_EQ(got.fragment, c.expected.fragment) << c.description;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UrlSplitTable,
    testing::Values(
        SplitCase{
            "default test URL",
            "https://cistest.apis-it.hr:8449/FiskalizacijaServiceTest",
            {"https", "", "cistest.apis-it.hr", "8449", "/", "FiskalizacijaServiceTest", "", ""}},
        SplitCase{"address with port",
                  "https://10.1.2.3:8449/FiskalizacijaService",
                  {"https", "", "10.1.2.3", "8449", "/", "FiskalizacijaService", "", ""}},
        SplitCase{"no port, no path", "http://host", {"http", "", "host", "", "/", "", "", ""}},
        SplitCase{"deeper path, query and fragment",
                  "http://h/a/b/c.asmx?x=1#top",
                  {"http", "", "h", "", "/a/b/", "c.asmx", "x=1", "top"}},
        SplitCase{"fragment without query",
                  "http://h/a#frag",
                  {"http", "", "h", "", "/", "a", "", "frag"}},
        SplitCase{"user part up to the last @",
                  "http://u:p@w@h:81/x",
                  {"http", "u:p@w", "h", "81", "/", "x", "", ""}},
        SplitCase{"bracketed IPv6 host",
                  "http://[::1]:8449/p",
                  {"http", "", "::1", "8449", "/", "p", "", ""}},
        SplitCase{"backslashes count as slashes",
                  "http://h\\a\\b?q=\\",
                  {"http", "", "h", "", "/a/", "b", "q=\\", ""}},
        SplitCase{"request target without scheme",
                  "/FiskalizacijaServiceTest",
                  {"", "", "", "", "/", "FiskalizacijaServiceTest", "", ""}},
        SplitCase{"relative target", "a/b", {"", "", "", "", "a/", "b", "", ""}},
        SplitCase{"empty text", "", {"", "", "", "", "", "", "", ""}}));

TEST(PercentDecode, ResolvesByteAndUnicodeEscapes) {
  EXPECT_EQ(PercentDecode("/Fiskalizacija%53ervice"), "/FiskalizacijaService");
  EXPECT_EQ(PercentDecode("%u0053"), "S");
  EXPECT_EQ(PercentDecode("%u010d"), "\xC4\x8D");                // č as UTF-8
  EXPECT_EQ(PercentDecode("%uD83D%uDE00"), "\xF0\x9F\x98\x80");  // a surrogate pair, one character
}

TEST(PercentDecode, KeepsBrokenEscapes) {
  EXPECT_EQ(PercentDecode("100%"), "100%");
  EXPECT_EQ(PercentDecode("%zz%4"), "%zz%4");
  EXPECT_EQ(PercentDecode("%u12"), "%u12");
}

}  // namespace
}  // namespace vp
