// The prompt in force, shared by both platforms.
#include <atomic>

#include "platform/UserPrompt.h"
#include "platform/UserPromptNative.h"

namespace vp::platform {
namespace {

std::atomic<UserPrompt*> g_override{nullptr};

}  // namespace

UserPrompt& CurrentUserPrompt() {
  UserPrompt* prompt = g_override.load();
  return prompt != nullptr ? *prompt : NativeUserPrompt();
}

void SetUserPromptForTesting(UserPrompt* prompt) { g_override.store(prompt); }

void ShowNotice(const std::string& text, NoticeIcon icon) {
  CurrentUserPrompt().Notice(text, icon);
}

Answer AskQuestion(const std::string& text) { return CurrentUserPrompt().Question(text); }

}  // namespace vp::platform
