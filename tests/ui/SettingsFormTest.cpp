// The settings dialog's address fetch against a fake DNS server on loopback: the fields it fills
// while the dialog is open, and a fetch that outlives the dialog. The test's main thread plays the
// dialog's modal loop and pumps the main-thread calls itself.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "proxy/DNSThread.h"
#include "proxy/ProxySettings.h"
#include "support/DnsRuns.h"
#include "support/FakeDnsServer.h"
#include "support/ScriptedUserPrompt.h"
#include "ui/MainFormFixture.h"
#include "ui/SettingsFormU.h"
#include "ui/UiTexts.h"

namespace vp {
namespace {

namespace dns = test::dns;
using Strings = std::vector<std::string>;

using test::NoDnsRunsLeft;
using test::PumpMainThreadUntil;

// A user who, at the first question, waits until every discovery run has ended: the runs finish
// while the dialog is closed but not yet freed.
class WaitingPrompt : public test::ScriptedUserPrompt {
 public:
  platform::Answer Question(const std::string& text) override {
    waited_ = PumpMainThreadUntil(NoDnsRunsLeft);
    return ScriptedUserPrompt::Question(text);
  }
  bool waited() const { return waited_; }

 private:
  bool waited_ = false;
};

class SettingsFormTest : public test::MainFormFixture {
 protected:
  void SetUp() override { test::UseShortDnsTiming(2000); }
  void TearDown() override {
    EXPECT_TRUE(PumpMainThreadUntil(NoDnsRunsLeft));
    MainFormFixture::TearDown();
    test::RestoreDnsTiming();
  }

  // The user edits the URLs and the resolver, then presses "Dobavi IP adrese sada".
  void FillForFetch(test::ScriptedSettingsDialog& dialog) {
    dialog.fields().url_test = "https://test.example:8449/FiskalizacijaServiceTest";
    dialog.fields().url_production = "https://prod.example/FiskalizacijaService";
    dialog.fields().dns_server = resolver_.address();
    dialog.PressFetchAddresses();
  }

  test::FakeDnsServer resolver_{
      {dns::AnswerByName({{"test.example", "10.0.0.1"}, {"prod.example", "10.0.0.2"}})}};
};

TEST_F(SettingsFormTest, FetchFillsTheAddressFieldsWhileTheDialogIsOpen) {
  test::ScriptedUserPrompt prompt;
  TMainForm& form = Create();
  bool fetched = false;
  window_->QueueDialog([&](test::ScriptedSettingsDialog& dialog) {
    FillForFetch(dialog);
    fetched = PumpMainThreadUntil([&] { return !prompt.shown().empty(); });
    return true;
  });
  window_->Click(platform::MenuItem::kSettings);
  EXPECT_TRUE(fetched);
  EXPECT_EQ(form.Settings().IPTest.get(), "10.0.0.1:8449");
  EXPECT_EQ(form.Settings().IPProduction.get(), "10.0.0.2:");  // no port in the URL: a lone colon
  EXPECT_EQ(prompt.shown(), Strings{std::string("notice: ") + kMsgAddressesFetched});
  // The edited URLs were looked up, test host first.
  Strings asked;
  for (const std::string& query : resolver_.Queries()) asked.push_back(dns::QuestionName(query));
  EXPECT_EQ(asked, (Strings{"test.example", "prod.example"}));
}

TEST_F(SettingsFormTest, FetchStillRunningWhenTheDialogClosesNeverTouchesIt) {
  WaitingPrompt prompt;
  resolver_.SetReplyDelayMs(300);
  TMainForm& form = Create();
  window_->QueueDialog([&](test::ScriptedSettingsDialog& dialog) {
    FillForFetch(dialog);
    dialog.fields().mode_index = 2;  // so that questions follow the close
    return true;
  });
  window_->Click(platform::MenuItem::kSettings);
  EXPECT_TRUE(prompt.waited());
  EXPECT_EQ(resolver_.QueryCount(), 2u);  // the run did complete
  EXPECT_EQ(window_->dialogs().at(0)->address_sets, 0);
  EXPECT_EQ(form.Settings().IPTest.get(), kDefaultIPTest);
  for (const std::string& shown : prompt.shown())
    EXPECT_EQ(shown.find(kMsgAddressesFetched), std::string::npos) << shown;
}

}  // namespace
}  // namespace vp
