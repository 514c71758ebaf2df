// The help text: its length, its paragraphs in their order, and the values it quotes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "proxy/ProxySettings.h"
#include "ui/HelpFormU.h"

namespace vp {
namespace {

TEST(HelpText, SixtyFourLinesWithTheModesFirstAndTheCertificatesAfter) {
  std::string text = HelpText();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n') + 1, 64);
  EXPECT_EQ(std::string(HelpLines()[0]), "Modovi rada:");
  // Each part after the one before it.
  std::size_t at = 0;
  for (const char* part :
       {"1 - Server sluša na portu 8449 i http protokolu", kDefaultURLTest, kDefaultURLProduction,
        "2 - Server sluša na portu 8449 i https protokolu", "127.0.0.1 cistest.apis-it.hr",
        "3 - Server sluša na portu 8449 i https protokolu", "127.0.0.1 cis.porezna-uprava.hr",
        "fakeFinaTest.crt", "fakeFinaTest.key", "fakeFina.crt", "fakeFina.key", "IP adrese",
        "fakeFinaCA.crt", "certs.bat", "OpenSSL"}) {
    std::size_t found = text.find(part, at);
    ASSERT_NE(found, std::string::npos) << part;
    at = found;
  }
  // Paragraphs are separated by one blank line, and no line runs past the window's width.
  for (std::size_t i = 0; i < HelpLines().size(); ++i) {
    std::string line = HelpLines()[i];
    EXPECT_LE(line.size(), 90u) << i;
    if (line.empty()) {
      EXPECT_FALSE(std::string(HelpLines()[i + 1]).empty()) << i;
    }
  }
}

}  // namespace
}  // namespace vp
