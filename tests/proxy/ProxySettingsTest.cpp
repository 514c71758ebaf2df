// The settings with their file: defaults, the typed reads, the file layout and safe saving.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "base/Error.h"
#include "platform/FileSystem.h"
#include "proxy/ProxySettings.h"
#include "support/TempDir.h"

namespace vp {
namespace {

using test::ReadFile;
using test::WriteFile;

// Points the machine-wide data folder at a fresh temp dir for one test, and back afterwards.
class ProxySettingsFile : public testing::Test {
 protected:
  ProxySettingsFile() : saved_appdata_(platform::CommonAppDataFolder()) {
    platform::SetCommonAppDataFolderForTesting(appdata_.path());
  }
  ~ProxySettingsFile() override { platform::SetCommonAppDataFolderForTesting(saved_appdata_); }

  std::string Folder() const { return appdata_.path() + "VormetraProxy"; }
  std::string Path() const { return Folder() + platform::PathDelimiter() + "Settings.ini"; }
  void WriteSettings(const std::string& bytes) {
    platform::ForceDirectories(Folder());
    WriteFile(Path(), bytes);
  }
  std::vector<std::string> NamesInFolder() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Folder()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  test::TempDir appdata_;
  std::string saved_appdata_;
};

void ExpectDefaults(const TProxySettings& s) {
  EXPECT_EQ(s.Mode, 1);
  EXPECT_FALSE(s.Active);
  EXPECT_FALSE(s.CallDNS);
  EXPECT_EQ(s.URLTest.get(), kDefaultURLTest);
  EXPECT_EQ(s.URLProduction.get(), kDefaultURLProduction);
  EXPECT_EQ(s.IPTest.get(), kDefaultIPTest);
  EXPECT_EQ(s.IPProduction.get(), kDefaultIPProduction);
  EXPECT_EQ(s.DNSServer.get(), kDefaultDNSServer);
}

TEST_F(ProxySettingsFile, NoFileGivesDefaultsAndMakesOnlyTheFolder) {
  TProxySettings settings;
  ExpectDefaults(settings);
  EXPECT_TRUE(platform::DirectoryExists(Folder()));
  EXPECT_FALSE(platform::FileExists(Path()));
}

TEST_F(ProxySettingsFile, SaveWhereNoFileExistedWritesTheTenLines) {
  TProxySettings settings;
  settings.Mode = -3;
  settings.Save();
  EXPECT_EQ(ReadFile(Path()),
            "{\r\n"
            "  \"Mode\":-3,\r\n"
            "  \"Active\":false,\r\n"
            "  \"URLTest\":\"https:\\/\\/cistest.apis-it.hr:8449\\/FiskalizacijaServiceTest\",\r\n"
            "  \"URLProduction\":\"https:\\/\\/cis.porezna-uprava.hr:8449\\/FiskalizacijaService\","
            "\r\n"
            "  \"IPTest\":\"195.29.166.133:8449\",\r\n"
            "  \"IPProduction\":\"193.198.75.116:8449\",\r\n"
            "  \"DNSServer\":\"8.8.8.8\",\r\n"
            "  \"CallDNS\":false\r\n"
            "}\r\n");
  std::string first = ReadFile(Path());
  TProxySettings reloaded;
  EXPECT_EQ(reloaded.Mode, -3);
  reloaded.Save();
  EXPECT_EQ(ReadFile(Path()), first) << "saving twice gives the same bytes";
  EXPECT_EQ(NamesInFolder(), std::vector<std::string>{"Settings.ini"}) << "no temp file left";
}

TEST_F(ProxySettingsFile, SaveAndLoadRoundTripEveryField) {
  TProxySettings settings;
  settings.Active = true;
  settings.CallDNS = true;
  settings.Mode = 3;
  settings.URLTest = std::string("https://h\xE8/\"q\"\\");
  settings.IPTest = std::string("1.2.3.4:5");
  settings.IPProduction = std::string("");
  settings.URLProduction = std::string("u");
  settings.DNSServer = std::string("9.9.9.9");
  settings.Save();
  for (char c : ReadFile(Path())) EXPECT_TRUE(c == '\r' || c == '\n' || (c >= 32 && c <= 126));

  TProxySettings loaded;
  EXPECT_TRUE(loaded.Active);
  EXPECT_TRUE(loaded.CallDNS);
  EXPECT_EQ(loaded.Mode, 3);
  EXPECT_EQ(loaded.URLTest.get(), settings.URLTest.get());
  EXPECT_EQ(loaded.IPTest.get(), "1.2.3.4:5");
  EXPECT_EQ(loaded.IPProduction.get(), "");
  EXPECT_EQ(loaded.URLProduction.get(), "u");
  EXPECT_EQ(loaded.DNSServer.get(), "9.9.9.9");
}

TEST_F(ProxySettingsFile, TypedReadsOfTheKeys) {
  struct Row {
    const char* file;
    const char* why;
    std::int32_t mode;
    bool active;
    const char* url_test;
  } rows[] = {
      {R"({"mode":"3"})", "lower-case key, string digit", 3, false, kDefaultURLTest},
      {R"({"Mode":2.9,"Active":"true"})", "truncated; string true", 2, true, kDefaultURLTest},
      {R"({"Mode":"$A","Active":1})", "hex string; the number 1", 10, false, kDefaultURLTest},
      {R"({"Mode":true,"Active":"TRUE"})", "true is no number; capitals", 0, false,
       kDefaultURLTest},
      {R"({"URLTest":null})", "null reads as its text", 1, false, "null"},
      {R"({"URLTest":12.50})", "a number reads as its characters", 1, false, "12.50"},
      {R"({"Mode":{"x":4},"URLTest":["a"]})", "containers read as missing", 1, false,
       kDefaultURLTest},
      {R"({"Mode":2,"MODE":3})", "the first match wins", 2, false, kDefaultURLTest},
      {R"({"Active":true,"Mode" :2,"URLTest":"u"})", "the parse stops at the space", 1, true,
       kDefaultURLTest},
      {" {\"Mode\":2}", "a leading space takes the Base64 path", 1, false, kDefaultURLTest},
  };
  for (const Row& row : rows) {
    WriteSettings(row.file);
    TProxySettings s;
    EXPECT_EQ(s.Mode, row.mode) << row.why;
    EXPECT_EQ(s.Active, row.active) << row.why;
    EXPECT_EQ(s.URLTest.get(), row.url_test) << row.why;
    EXPECT_EQ(s.DNSServer.get(), kDefaultDNSServer) << row.why;
  }
}

TEST_F(ProxySettingsFile, HostileFileGivesWhatParsedBeforeIt) {
  WriteSettings("{\"Mode\":2,\"x\":" + std::string(100000, '[') + "\xC4\x80\x80");
  TProxySettings s;
  EXPECT_EQ(s.Mode, 2);
  EXPECT_EQ(s.URLTest.get(), kDefaultURLTest);
}

TEST_F(ProxySettingsFile, LoadOverwritesEveryField) {
  WriteSettings(R"({"Mode":0,"Active":true,"DNSServer":"1.1.1.1"})");
  TProxySettings s;
  EXPECT_EQ(s.Mode, 0);
  WriteSettings("{}");
  s.Load();
  ExpectDefaults(s);
}

TEST_F(ProxySettingsFile, SaveKeepsOtherKeysInTheirPlaces) {
  WriteSettings("{\"Other\":[1,2],\"mode\":2,\"Mode\":3,\"URLTest\":{\"x\":1}}\r\n");
  TProxySettings s;
  EXPECT_EQ(s.Mode, 2);
  s.Mode = 1;
  s.Save();
  EXPECT_EQ(ReadFile(Path()),
            "{\r\n"
            "  \"Other\":\r\n"
            "  [\r\n"
            "    1,\r\n"
            "    2\r\n"
            "  ],\r\n"
            "  \"mode\":1,\r\n"
            "  \"Mode\":3,\r\n"
            "  \"URLTest\":\"https:\\/\\/cistest.apis-it.hr:8449\\/FiskalizacijaServiceTest\",\r\n"
            "  \"Active\":false,\r\n"
            "  \"URLProduction\":\"https:\\/\\/cis.porezna-uprava.hr:8449\\/FiskalizacijaService\","
            "\r\n"
            "  \"IPTest\":\"195.29.166.133:8449\",\r\n"
            "  \"IPProduction\":\"193.198.75.116:8449\",\r\n"
            "  \"DNSServer\":\"8.8.8.8\",\r\n"
            "  \"CallDNS\":false\r\n"
            "}\r\n");
  EXPECT_EQ(NamesInFolder(), std::vector<std::string>{"Settings.ini"}) << "it parsed: no copy";
}

TEST_F(ProxySettingsFile, SaveKeepsACopyOfAFileThatDidNotParse) {
  const std::string broken = "{\"Mode\":2,\"Extra\" :\"lost otherwise\",\"Keep\":1}\r\n";
  WriteSettings(broken);
  TProxySettings s;
  EXPECT_EQ(s.Mode, 2);
  s.Save();
  EXPECT_EQ(ReadFile(Folder() + platform::PathDelimiter() + "Settings.ini.bak"), broken);
  TProxySettings reloaded;
  EXPECT_EQ(reloaded.Mode, 2);
  EXPECT_EQ(NamesInFolder(), (std::vector<std::string>{"Settings.ini", "Settings.ini.bak"}));

  // An empty file holds nothing to keep.
  std::filesystem::remove(Folder() + platform::PathDelimiter() + "Settings.ini.bak");
  WriteSettings("");
  TProxySettings empty;
  empty.Save();
  EXPECT_EQ(NamesInFolder(), std::vector<std::string>{"Settings.ini"});
}

TEST_F(ProxySettingsFile, FailedSaveKeepsTheOldFileAndTheValues) {
  WriteSettings("{\"Mode\":2}\r\n");
  TProxySettings s;
  s.Mode = 3;
  platform::SetReplaceFailureForTesting(20);
  try {
    s.Save();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kFileCreate);
    std::string prefix = "Cannot create file \"" + Path() + "\". ";
    EXPECT_EQ(std::string(e.what()).substr(0, prefix.size()), prefix);
  }
  EXPECT_EQ(ReadFile(Path()), "{\"Mode\":2}\r\n");
  EXPECT_EQ(NamesInFolder(), std::vector<std::string>{"Settings.ini"});
  EXPECT_EQ(s.Mode, 3);
}

TEST_F(ProxySettingsFile, SettingsFileInPlaceOfAFolderOrFile) {
  platform::ForceDirectories(Path());  // a folder where the file should be
  WriteFile(Path() + platform::PathDelimiter() + "x", "x");
  TProxySettings s;
  ExpectDefaults(s);
  try {
    s.Save();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kFileCreate);
    std::string prefix = "Cannot create file \"" + Path() + "\". ";
    EXPECT_EQ(std::string(e.what()).substr(0, prefix.size()), prefix);
  }
  EXPECT_EQ(NamesInFolder(), std::vector<std::string>{"Settings.ini"});
}

TEST_F(ProxySettingsFile, MalformedEscapeReachesTheCaller) {
  TProxySettings s;
  s.Mode = 3;
  WriteSettings(R"({"URLTest":"\u00zz"})");
  try {
    s.Load();
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kConvert);
    EXPECT_STREQ(e.what(), "'$00zz' is not a valid integer value");
  }
  EXPECT_EQ(s.Mode, 3) << "the fields keep their values";
  EXPECT_THROW(s.Save(), Error);
  EXPECT_EQ(ReadFile(Path()), R"({"URLTest":"\u00zz"})");
}

}  // namespace
}  // namespace vp
