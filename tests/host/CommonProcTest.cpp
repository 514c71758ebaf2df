// The hosts-file editor on a hosts file of the test's own: the line rules, the one-time backup and
// its notice, the relaunch when the file cannot be written, and hostile hosts and settings files.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "base/Error.h"
#include "host/CommonProc.h"
#include "platform/FileSystem.h"
#include "platform/HostsFile.h"
#include "support/RecordingLauncher.h"
#include "support/ScriptedUserPrompt.h"
#include "support/TempDir.h"

namespace vp {
namespace {

using platform::Answer;

constexpr const char* kTestHost = "cistest.apis-it.hr";
constexpr const char* kProductionHost = "cis.porezna-uprava.hr";

class HostsEditor : public testing::Test {
 protected:
  HostsEditor() : saved_appdata_(platform::CommonAppDataFolder()) {
    platform::SetCommonAppDataFolderForTesting(appdata_.path());
    platform::SetHostsFilePathForTesting(HostsPath());
  }
  ~HostsEditor() override {
    platform::SetHostsFilePathForTesting("");
    platform::SetCommonAppDataFolderForTesting(saved_appdata_);
  }

  std::string HostsPath() const { return dir_.File("hosts"); }
  std::string Folder() const { return appdata_.File("VormetraProxy"); }
  std::string BackupPath() const { return Folder() + platform::PathDelimiter() + "hosts"; }
  std::string BackupNotice() const {
    return "notice: Hosts file će prije izmjene biti spremljen na sljedećoj lokaciji: " +
           BackupPath() + ". ";
  }
  std::string Hosts() const { return test::ReadFile(HostsPath()); }
  void WriteHosts(const std::string& text) { test::WriteFile(HostsPath(), text); }
  void WriteSettings(const std::string& json) {
    platform::ForceDirectories(Folder());
    test::WriteFile(Folder() + platform::PathDelimiter() + "Settings.ini", json);
  }
  // The file as another program holding it open would leave it: not writable for the editor.
  void HoldHosts() { hold_ = std::make_unique<platform::FileHoldForTesting>(HostsPath()); }

  test::TempDir dir_;
  test::TempDir appdata_;
  std::string saved_appdata_;
  test::ScriptedUserPrompt prompt_;
  test::RecordingLauncher launcher_;
  std::unique_ptr<platform::FileHoldForTesting> hold_;
};

TEST_F(HostsEditor, AddRemovesBothHostsLastLineFirstAndAppendsWithCrLf) {
  WriteHosts(std::string("# redirect ") + kTestHost + " here\n127.0.0.1 localhost\r127.0.0.1 " +
             kProductionHost + "\r\n10.0.0.1 CISTEST.APIS-IT.HR");
  THosts().AddTestEntry();
  EXPECT_EQ(Hosts(), std::string("127.0.0.1 localhost\r\n10.0.0.1 CISTEST.APIS-IT.HR\r\n") +
                         "127.0.0.1 " + kTestHost + "\r\n");
  EXPECT_TRUE(THosts().HasTestEntry());
  EXPECT_FALSE(THosts().HasProductionEntry());

  THosts().AddProductionEntry();
  EXPECT_EQ(Hosts(), std::string("127.0.0.1 localhost\r\n10.0.0.1 CISTEST.APIS-IT.HR\r\n") +
                         "127.0.0.1 " + kProductionHost + "\r\n");
  EXPECT_FALSE(THosts().HasTestEntry());
  EXPECT_TRUE(THosts().HasProductionEntry());
  EXPECT_TRUE(launcher_.launches().empty());
}

TEST_F(HostsEditor, AddRewritesEvenAnUnchangedFileAndRemoveOnlyWhenALineWent) {
  std::string entry = std::string("127.0.0.1 ") + kTestHost;
  WriteHosts(entry + "\n");
  THosts().AddTestEntry();
  EXPECT_EQ(Hosts(), entry + "\r\n") << "rewritten with CR LF";

  WriteHosts("127.0.0.1 localhost\n# nothing of ours\n");
  THosts().RemoveEntries();
  EXPECT_EQ(Hosts(), "127.0.0.1 localhost\n# nothing of ours\n") << "not rewritten";

  WriteHosts(std::string("# ") + kProductionHost + "\n::1 localhost\n" + entry);
  EXPECT_TRUE(THosts().HasProductionEntry()) << "a comment line counts";
  THosts().RemoveEntries();
  EXPECT_EQ(Hosts(), "::1 localhost\r\n");
}

TEST_F(HostsEditor, BackupIsMadeOnceWithItsNoticeAndNeverRefreshed) {
  WriteHosts("127.0.0.1 localhost\n");
  THosts().AddTestEntry();
  THosts().RemoveEntries();
  EXPECT_EQ(prompt_.shown(), std::vector<std::string>{BackupNotice()});
  EXPECT_EQ(test::ReadFile(BackupPath()), "127.0.0.1 localhost\n");
}

TEST_F(HostsEditor, WithoutRightsTheNoticeComesBeforeTheQuestionAndNoMeansNothingStarts) {
  WriteHosts("127.0.0.1 localhost\n");
  HoldHosts();
  prompt_.QueueAnswers({Answer::kNo, Answer::kCancel});
  THosts().AddTestEntry();
  THosts().RemoveEntries();
  std::string question =
      "question: Program će se pokrenuti sa administratorskim ovlastima."
      "\r\n\r\nŽelite li nastaviti";
  EXPECT_EQ(prompt_.shown(), (std::vector<std::string>{BackupNotice(), question, question}));
  EXPECT_TRUE(launcher_.launches().empty());
  EXPECT_EQ(Hosts(), "127.0.0.1 localhost\n");
  EXPECT_FALSE(THosts().HasTestEntry());
}

TEST_F(HostsEditor, WithoutRightsYesRunsTheElevatedCopyWhichFindsTheBackup) {
  WriteHosts("127.0.0.1 localhost\n");
  HoldHosts();
  prompt_.QueueAnswers({Answer::kYes});
  launcher_.OnLaunch([this](const test::Launch&) {
    hold_.reset();  // the elevated copy may write
    THosts().AddProductionEntry();
  });
  THosts().AddProductionEntry();
  ASSERT_EQ(launcher_.launches().size(), 1u);
  EXPECT_EQ(launcher_.launches()[0].verb, platform::LaunchVerb::kRunAs);
  EXPECT_EQ(launcher_.launches()[0].program, platform::ProgramFilePath());
  EXPECT_EQ(launcher_.launches()[0].parameters, "/hostprod");
  EXPECT_EQ(prompt_.shown().size(), 2u) << "one notice, one question";
  EXPECT_TRUE(THosts().HasProductionEntry());
}

// As a user on Linux: the machine-wide folder is root's, so only the elevated copy can make the
// backup, and it alone announces it (a file stands in the folder's place here, which stops root
// as well).
TEST_F(HostsEditor, WhenOnlyTheElevatedCopyCanBackUpItAloneShowsTheNotice) {
  WriteHosts("127.0.0.1 localhost\n");
  HoldHosts();
  test::WriteFile(Folder(), "x");
  prompt_.QueueAnswers({Answer::kYes});
  launcher_.OnLaunch([this](const test::Launch&) {
    hold_.reset();
    std::filesystem::remove(Folder());
    THosts().AddTestEntry();
  });
  THosts().AddTestEntry();
  EXPECT_EQ(prompt_.shown(),
            (std::vector<std::string>{"question: Program će se pokrenuti sa administratorskim "
                                      "ovlastima.\r\n\r\nŽelite li nastaviti",
                                      BackupNotice()}));
  EXPECT_EQ(test::ReadFile(BackupPath()), "127.0.0.1 localhost\n");
}

TEST_F(HostsEditor, RelaunchAlreadyPrivilegedStillAsksThenOpens) {
  prompt_.QueueAnswers({Answer::kYes});
  RelaunchWithSwitch("install", true);
  EXPECT_EQ(prompt_.shown().size(), 1u);
  ASSERT_EQ(launcher_.launches().size(), 1u);
  EXPECT_EQ(launcher_.launches()[0].verb, platform::LaunchVerb::kOpen);
  EXPECT_EQ(launcher_.launches()[0].parameters, "/install");
}

TEST_F(HostsEditor, HostileHostsFileKeepsEveryOtherByte) {
  std::string long_line(200000, 'x');
  std::string odd = std::string("1.2.3.4 nul\0here", 16) + " \xE8\x9A\xFF\x80";
  WriteHosts(long_line + "\r\n" + odd + "\r\r\n\n" + kTestHost);
  THosts().AddProductionEntry();
  EXPECT_EQ(Hosts(),
            long_line + "\r\n" + odd + "\r\n\r\n\r\n127.0.0.1 " + kProductionHost + "\r\n");
}

TEST_F(HostsEditor, MissingFileIsNeverCreated) {
  prompt_.QueueAnswers({Answer::kNo});
  THosts().AddTestEntry();  // cannot be opened for writing: the relaunch path, declined
  EXPECT_FALSE(platform::FileExists(HostsPath()));
  EXPECT_EQ(prompt_.shown().size(), 1u) << "no backup notice for a file that is not there";
  try {
    THosts().HasTestEntry();
    FAIL() << "read a missing hosts file";
  } catch (const Error& error) {
    EXPECT_EQ(error.kind(), ErrorKind::kFileOpen);
  }
}

TEST_F(HostsEditor, FailedWriteLeavesTheOldFileWhole) {
  WriteHosts("127.0.0.1 localhost\n");
  platform::SetReplaceFailureForTesting(5);
  EXPECT_THROW(THosts().AddTestEntry(), Error);
  EXPECT_EQ(Hosts(), "127.0.0.1 localhost\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                          std::filesystem::directory_iterator()),
            1)
      << "no temporary file left beside it";
}

TEST_F(HostsEditor, UrlWithoutUsableHostAddsNothingAndMatchesNothing) {
  WriteHosts("127.0.0.1 localhost\n");
  for (const char* url : {"/FiskalizacijaServiceTest", "https://a b:8449/x",
                          "https://x\\r\\n1.2.3.4 bank.example/", "https://#x/"}) {
    WriteSettings(std::string("{\"URLTest\":\"") + url + "\"}");
    try {
      THosts().AddTestEntry();
      FAIL() << url;
    } catch (const Error& error) {
      EXPECT_EQ(error.kind(), ErrorKind::kSettings) << url;
      EXPECT_STREQ(error.what(), "Postavka URLTest nema ispravan naziv hosta") << url;
    }
    EXPECT_EQ(Hosts(), "127.0.0.1 localhost\n") << url;
  }
  WriteSettings("{\"URLTest\":\"\",\"URLProduction\":\"https:///\"}");
  EXPECT_FALSE(THosts().HasTestEntry());
  EXPECT_FALSE(THosts().HasProductionEntry());
  THosts().RemoveEntries();
  EXPECT_EQ(Hosts(), "127.0.0.1 localhost\n");
}

}  // namespace
}  // namespace vp
