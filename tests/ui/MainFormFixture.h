// The main window made as the program makes it, over a scripted window and a double of the hosts
// file, the service and the certificate store, with the common application data folder (where
// the settings file lives) in a temp dir for the test's length.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/FileSystem.h"
#include "support/FakeHostActions.h"
#include "support/ScriptedMainWindow.h"
#include "support/TempDir.h"
#include "ui/MainFormU.h"

namespace vp::test {

class MainFormFixture : public testing::Test {
 protected:
  MainFormFixture() : saved_appdata_(platform::CommonAppDataFolder()) {
    platform::SetCommonAppDataFolderForTesting(appdata_.path());
  }
  ~MainFormFixture() override { platform::SetCommonAppDataFolderForTesting(saved_appdata_); }

  // The window goes while everything a derived fixture holds (a prompt, a resolver) still stands.
  void TearDown() override { form_.reset(); }

  // The own proxy listens on port (0: any free one).
  TMainForm& Create(std::uint16_t port = 0) {
    form_ = std::make_unique<TMainForm>(
        host_,
        [this](platform::MainWindowEvents& events) {
          auto window = std::make_unique<ScriptedMainWindow>(events);
          window_ = window.get();
          return window;
        },
        port);
    return *form_;
  }
  ScriptedMainWindow& window() { return *window_; }

  TempDir appdata_;
  std::string saved_appdata_;
  FakeHostActions host_;
  ScriptedMainWindow* window_ = nullptr;
  std::unique_ptr<TMainForm> form_;
};

}  // namespace vp::test
