// A double of the user's boxes: answers questions from a queue and records every text shown, in
// order, so a test can check both what was asked and the order of notices and questions.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/UserPrompt.h"

namespace vp::test {

class ScriptedUserPrompt : public platform::UserPrompt {
 public:
  // Puts itself in place of the system's boxes until destroyed.
  ScriptedUserPrompt();
  ~ScriptedUserPrompt() override;
  ScriptedUserPrompt(const ScriptedUserPrompt&) = delete;
  ScriptedUserPrompt& operator=(const ScriptedUserPrompt&) = delete;

  // The answers the next questions get, in order; once they run out, questions get kNo.
  void QueueAnswers(std::initializer_list<platform::Answer> answers);

  // Every box shown so far, as "notice: <text>" or "question: <text>".
  std::vector<std::string> shown() const;
  // The error notices alone, their texts only.
  std::vector<std::string> errors() const;

  void Notice(const std::string& text, platform::NoticeIcon icon) override;
  platform::Answer Question(const std::string& text) override;

 private:
  mutable std::mutex mutex_;
  std::deque<platform::Answer> answers_;
  std::vector<std::string> shown_;
  std::vector<std::string> errors_;
};

}  // namespace vp::test
