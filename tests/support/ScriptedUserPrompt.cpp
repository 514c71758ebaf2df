#include "support/ScriptedUserPrompt.h"

namespace vp::test {

ScriptedUserPrompt::ScriptedUserPrompt() { platform::SetUserPromptForTesting(this); }

ScriptedUserPrompt::~ScriptedUserPrompt() { platform::SetUserPromptForTesting(nullptr); }

void ScriptedUserPrompt::QueueAnswers(std::initializer_list<platform::Answer> answers) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_.insert(answers_.end(), answers);
}

std::vector<std::string> ScriptedUserPrompt::shown() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shown_;
}

std::vector<std::string> ScriptedUserPrompt::errors() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return errors_;
}

void ScriptedUserPrompt::Notice(const std::string& text, platform::NoticeIcon icon) {
  std::lock_guard<std::mutex> lock(mutex_);
  shown_.push_back("notice: " + text);
  if (icon == platform::NoticeIcon::kError) errors_.push_back(text);
}

platform::Answer ScriptedUserPrompt::Question(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  shown_.push_back("question: " + text);
  if (answers_.empty()) return platform::Answer::kNo;
  platform::Answer answer = answers_.front();
  answers_.pop_front();
  return answer;
}

}  // namespace vp::test
