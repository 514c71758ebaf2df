// Saving the settings where this process may not write them: an elevated copy (a double that runs
// the copy's task in place) saves the staged values, and a declined copy is a failure. The file's
// place is taken by a folder, which not even root can replace with a file.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/Error.h"
#include "host/ElevatedTasks.h"
#include "platform/FileSystem.h"
#include "proxy/ProxySettings.h"
#include "support/RecordingLauncher.h"
#include "support/ScriptedUserPrompt.h"
#include "support/TempDir.h"

namespace vp {
namespace {

class ElevatedSave : public testing::Test {
 protected:
  ElevatedSave() : saved_appdata_(platform::CommonAppDataFolder()) {
    platform::SetCommonAppDataFolderForTesting(appdata_.path());
    std::filesystem::create_directories(SettingsPath());
    launcher_.OnLaunch([this](const test::Launch& launch) {
      std::filesystem::remove(SettingsPath());
      SaveStagedSettings(launch.arguments.at(1));
    });
  }
  ~ElevatedSave() override { platform::SetCommonAppDataFolderForTesting(saved_appdata_); }

  std::string SettingsPath() const {
    return appdata_.File("VormetraProxy") + platform::PathDelimiter() + "Settings.ini";
  }

  test::TempDir appdata_;
  std::string saved_appdata_;
  test::ScriptedUserPrompt prompt_;
  test::RecordingLauncher launcher_;
};

TEST_F(ElevatedSave, TheCopySavesTheStagedValuesAndTheStagedFileGoes) {
  TProxySettings settings;
  settings.Mode = 2;
  settings.Active = true;
  prompt_.QueueAnswers({platform::Answer::kYes});
  SaveSettingsWithRights(settings);
  ASSERT_EQ(launcher_.launches().size(), 1u);
  EXPECT_EQ(launcher_.launches()[0].verb, platform::LaunchVerb::kRunAs);
  EXPECT_EQ(launcher_.launches()[0].arguments.at(0), "/savesettings");
  EXPECT_FALSE(std::filesystem::exists(launcher_.launches()[0].arguments.at(1)));
  TProxySettings saved;
  EXPECT_TRUE(saved.SameValues(settings));
  EXPECT_EQ(saved.Mode, 2);
}

TEST_F(ElevatedSave, ADeclinedCopyIsTheSavesFailureAndUnchangedValuesNeedNoCopy) {
  TProxySettings settings;
  SaveSettingsWithRights(settings);  // the defaults, which the missing file holds already
  EXPECT_TRUE(launcher_.launches().empty());

  settings.Mode = 3;
  try {
    SaveSettingsWithRights(settings);  // the question is answered No
    FAIL() << "a save that did not land was reported as done";
  } catch (const Error& error) {
    EXPECT_EQ(error.kind(), ErrorKind::kFileCreate);
    EXPECT_EQ(std::string(error.what()).rfind("Cannot create file \"" + SettingsPath() + "\".", 0),
              0u)
        << error.what();
  }
  EXPECT_EQ(prompt_.shown().size(), 1u);
  EXPECT_TRUE(std::filesystem::is_directory(SettingsPath()));
}

}  // namespace
}  // namespace vp
