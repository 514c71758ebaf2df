// The terminal's boxes when nobody can answer, and the double that tests put in their place.
#include <gtest/gtest.h>

#include "platform/UserPrompt.h"
#include "support/ScriptedUserPrompt.h"

namespace vp::platform {
namespace {

TEST(UserPrompt, ScriptedDoubleRecordsInOrderAndRunsOutAsNo) {
  test::ScriptedUserPrompt prompt;
  prompt.QueueAnswers({Answer::kYes});
  ShowNotice("prvo");
  EXPECT_EQ(AskQuestion("drugo"), Answer::kYes);
  ShowNotice(
      "tre\xC4\x87"
      "e",
      NoticeIcon::kError);
  EXPECT_EQ(AskQuestion("\xC4\x8D"
                        "etvrto"),
            Answer::kNo);
  EXPECT_EQ(prompt.shown(), (std::vector<std::string>{"notice: prvo", "question: drugo",
                                                      "notice: tre\xC4\x87"
                                                      "e",
                                                      "question: \xC4\x8D"
                                                      "etvrto"}));
  EXPECT_EQ(prompt.errors(), (std::vector<std::string>{"tre\xC4\x87"
                                                       "e"}));
}

}  // namespace
}  // namespace vp::platform
